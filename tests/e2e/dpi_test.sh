#!/usr/bin/env bash
# The window at the scales shop terminals and laptops use: at 120, 144 and
# 192 DPI every control sits at its twips converted at that DPI (within a
# pixel), the labels end where the lists begin, no caption is clipped, the
# window is centred, and the lists are still named by their labels. A
# screenshot per DPI lands in the artifacts; 96 DPI is checked as before.
. "$(dirname "$0")/lib.sh"
exe=$(winpath "$PORTSETUP_BUILD/PortSetup.exe")
set_dpi() {
  wine_run reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wine_run reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  # Programs read the screen's DPI as the server's background programs start.
  wine_server_persist
}
on_exit 'set_dpi 96'
for dpi in 120 144 192 96; do
  set_dpi "$dpi"
  drive start normal "$exe" "" wait-window 15000 dpi "$dpi" check-layout check-label-walk \
    screenshot "$(winpath "$ARTIFACTS/window-${dpi}dpi.png")" close wait-exit 10000 0
done
echo "dpi: ok"
