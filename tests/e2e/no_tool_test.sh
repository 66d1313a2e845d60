#!/usr/bin/env bash
# Without a printer setup tool: the window tells the user and writes nothing;
# an unattended run ends with a non-zero exit code and leaves no window.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
exe=$(winpath "$package/PortSetup.exe")

reset_state
rm -f "$SYSTEM32/rundll32.exe"
on_exit install_standin
ports_before=$(reg_query "$PORTS")
drive start normal "$exe" "" wait-window 15000 click-com 2 next \
  answer-message 10000 "rundll32 printui.dll,PrintUIEntry /if" wait-exit 10000 0
expect_eq "Ports" "$ports_before" "$(reg_query "$PORTS")"

printf 'POS A\tKALDO QTX_VELTRO\n' | add_printers
drive start hidden "$exe" "DEL" wait-exit 20000 1 expect-no-window
printers | grep -qx "POS A" || fail "a printer was removed without the tool"
echo "no tool: ok"
