#!/usr/bin/env bash
# Installation as a user does it: on COM2 with chosen settings, on USB with
# and without the printer already there, and into a missing Ports key.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
exe=$(winpath "$package/PortSetup.exe")
dir=$(winpath "$package")

# 1. COM2, 19200 bits/s, odd parity, 7 data bits, 2 stop bits, Xon/Xoff.
reset_state
ports_before=$(reg_query "$PORTS" | grep -v 'COM2:')
drive start normal "$exe" "" wait-window 15000 click-com 2 \
  pick 0 19200 pick 2 Odd pick 1 7 pick 3 2 pick 4 Xon/Xoff \
  next wait-exit 20000 0 expect-ended-after 3000
wait_log 2
expect_lines "COM2 start order" \
"$PRINTUI /if /b \"KALDO Veltro MiniPrinter\" /f $dir\\PRT3Q42WD32.inf /r \"COM2:\" /m \"KALDO QTX_VELTRO\"
$PRINTUI /q /y /n \"KALDO Veltro MiniPrinter\"" "$(started_lines)"
expect_eq "COM2: type" "REG_SZ" "$(reg_type "$PORTS" "COM2:")"
expect_eq "COM2: settings" "19200,o,7,2,x" "$(reg_value "$PORTS" "COM2:")"
expect_eq "other ports" "$ports_before" "$(reg_query "$PORTS" | grep -v 'COM2:')"
expect_eq "default printer" "KALDO Veltro MiniPrinter,winspool,COM2:" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' Device)"
printers | grep -qx "KALDO Veltro MiniPrinter" || fail "the printer is not listed after installation"

# 2. USB when the printer does not exist yet: the driver only, no default, no Ports value.
reset_state
ports_before=$(reg_query "$PORTS")
drive start normal "$exe" "" wait-window 15000 click-usb next wait-exit 20000 0 expect-ended-after 3000
wait_log 1
sleep 1
expect_lines "USB without the printer" "$PRINTUI /ia /f $dir\\PRT3Q42WD32.inf /m \"KALDO QTX_VELTRO\"" "$(started_lines)"
expect_eq "Ports after USB" "$ports_before" "$(reg_query "$PORTS")"

# ... and when it is already there: it is made the default.
reset_state
printf 'KALDO Veltro MiniPrinter\tKALDO QTX_VELTRO\n' | add_printers
drive start normal "$exe" "" wait-window 15000 click-usb next wait-exit 20000 0
wait_log 2
expect_lines "USB with the printer" "$PRINTUI /ia /f $dir\\PRT3Q42WD32.inf /m \"KALDO QTX_VELTRO\"
$PRINTUI /q /y /n \"KALDO Veltro MiniPrinter\"" "$(started_lines)"
expect_eq "Ports after USB" "$ports_before" "$(reg_query "$PORTS")"

# 8. A missing Ports key is created; COM4 without flow control.
reset_state
wine_run reg delete "$PORTS" /f >/dev/null 2>&1
drive start normal "$exe" "" wait-window 15000 click-com 4 pick 4 None next wait-exit 20000 0
expect_eq "COM4: in a new Ports key" "9600,n,8,1" "$(reg_value "$PORTS" "COM4:")"
wait_log 2
wine_run reg add "$PORTS" /v "COM1:" /d "9600,n,8,1" /f >/dev/null
# 9. The package as the console program takes it. In a folder others can
#    change (Wine shows a world-writable one so), the window installs from
#    the protected copy in the machine folder and says so; with a link in
#    it, it installs nothing and says why and the fix.
open_package="$WINEPREFIX/drive_c/users/Public/KaldoWindow"
rm -rf "$open_package" "$WINEPREFIX/drive_c/ProgramData/PortSetup"
make_package "$open_package"
chmod o+w "$open_package"
reset_state
drive start normal "$(winpath "$open_package/PortSetup.exe")" "" wait-window 15000 click-com 2 next \
  answer-message 20000 "so the driver was installed from a protected copy in C:\ProgramData\PortSetup\Package" \
  wait-exit 20000 0
wait_log 2
expect_eq "the install from a folder others can change" \
  "$PRINTUI /if /b \"KALDO Veltro MiniPrinter\" /f C:\ProgramData\PortSetup\Package\PRT3Q42WD32.inf /r \"COM2:\" /m \"KALDO QTX_VELTRO\"" \
  "$(started_lines | head -1)"
[ -f "$WINEPREFIX/drive_c/ProgramData/PortSetup/Package/PRT3Q42WD32.inf" ] || fail "no protected copy of the package"
chmod o-w "$open_package"
mkdir -p "$WINEPREFIX/drive_c/users/Public/elsewhere"
ln -s "$WINEPREFIX/drive_c/users/Public/elsewhere" "$open_package/docs"
reset_state
drive start normal "$(winpath "$open_package/PortSetup.exe")" "" wait-window 15000 click-com 2 next \
  answer-message 20000 "is not used, and nothing was installed" wait-exit 20000 0
expect_eq "starts for a package with a link" "" "$(started_lines)"
rm -rf "$open_package" "$WINEPREFIX/drive_c/users/Public/elsewhere"
echo "install: ok"
