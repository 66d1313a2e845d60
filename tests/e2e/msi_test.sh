#!/usr/bin/env bash
# The MSI package under Wine's msiexec, as deployment systems run it: install
# with PORT and SETTINGS, USB, uninstall, a failing installation that rolls
# back, a bad PORT, upgrades, repairs and rebuilds that keep the stored choice,
# a refused downgrade, and an uninstall that leaves the printers when asked.
# Exit codes are read whole.
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi="$root/build/dist/PortSetup-$version-x64.msi"
[ -f "$msi" ] || fail "no $msi: scripts/test builds it with tests/packaging/package_test.sh first"
installed="$WINEPREFIX/drive_c/Program Files/PortSetup"
cli_log="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# A value of its own, so that every answer about the key shows its header
# line: Wine's reg prints nothing at all for a key without values or subkeys.
wine_run reg add "$UNINSTALL" /v PortSetupTests /d "shows this key in every answer" /f >/dev/null

msiexec() { run_console 'C:\windows\system32\msiexec.exe' "$@" /qn /l*v 'C:\msi.log'; }
expect_code() {  # what, expected
  [ "$RUN_CODE" = "$2" ] || { tail -40 "$WINEPREFIX/drive_c/msi.log" 2>/dev/null | iconv -f UTF-16LE -t UTF-8 2>/dev/null >&2 || true
                              fail "$1: exit code $RUN_CODE, expected $2"; }
}
# The Add/Remove Programs entries named PortSetup: "version" lines.
entries() {
  { reg_query "$UNINSTALL" /s || true; } | awk '
    /^HKEY/ { name = ""; version = "" }
    $1 == "DisplayName" { $1 = ""; $2 = ""; sub(/^ +/, ""); name = $0 }
    $1 == "DisplayVersion" { version = $3 }
    name == "PortSetup" && version != "" { print version; name = "" }'
}
nothing_installed() {  # what
  [ ! -e "$installed/PortSetupCli.exe" ] || fail "$1: files are left in Program Files"
  expect_eq "$1: entries" "" "$(entries)"
  expect_eq "$1: printers" "" "$(printers)"
  expect_eq "$1: drivers" "" "$(drivers)"
}
msi_path() { winpath "$1"; }

# 1. Installation on COM2 with chosen settings, then uninstallation.
reset_state
rm -f "$cli_log"
msiexec /i "$(msi_path "$msi")" PORT=COM2 SETTINGS=19200,e,7,1,x
expect_code "install on COM2" 0
for f in PortSetup.exe PortSetupCli.exe PRT3Q42WD32.inf prt3q42wd32.cat amd64/KALDOQTX.DLL; do
  [ -f "$installed/$f" ] || fail "installed files lack $f"
done
expect_eq "entries after install" "$version" "$(entries)"
expect_eq "printers after install" "KALDO Veltro MiniPrinter" "$(printers)"
expect_eq "printer port" "COM2:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
expect_eq "COM2: settings" "19200,e,7,1,x" "$(reg_value "$PORTS" "COM2:")"
grep -q 'run: PortSetupCli install --port COM2 --settings 19200,e,7,1,x --stored-port "" --stored-settings "" --stored-device "" --package "C:\\Program Files\\PortSetup\\."' "$cli_log" \
  || fail "the CLI's log lacks the installation: $(cat "$cli_log")"
grep -q 'verdict: done, exit code 0' "$cli_log" || fail "the CLI's log lacks the verdict"
expect_eq "the install command line" \
  "$PRINTUI /q /if /b \"KALDO Veltro MiniPrinter\" /f \"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf\" /r \"COM2:\" /m \"KALDO QTX_VELTRO\"" \
  "$(started_lines | head -1)"

# The Remediation pair's commands, the same on every till: the till as
# stored, a Ports value someone reset found by status --stored, and repair
# putting back the settings the MSI was given.
cli='C:\Program Files\PortSetup\PortSetupCli.exe'
run_console "$cli" status --stored
expect_code "status --stored after the MSI" 0
wine_run reg add "$PORTS" /v COM2: /d 9600,n,8,1,p /f >/dev/null 2>&1
run_console "$cli" status --stored
expect_code "status --stored with the settings reset" 1605
printf '%s\n' "$RUN_OUT" | grep -qF 'the settings of COM2: are 9600,n,8,1,p, not 19200,e,7,1,x' || fail "status --stored: $RUN_OUT"
run_console "$cli" repair
expect_code "repair" 0
expect_eq "COM2: settings after repair" "19200,e,7,1,x" "$(reg_value "$PORTS" "COM2:")"
expect_eq "the stored settings after repair" "19200,e,7,1,x" "$(reg_value 'HKLM\SOFTWARE\PortSetup' Settings)"
run_console "$cli" status --stored
expect_code "status --stored after repair" 0

msiexec /x "$(msi_path "$msi")"
expect_code "uninstall" 0
nothing_installed "after uninstall"
grep -q 'run: PortSetupCli remove' "$cli_log" || fail "the CLI's log lacks the removal"

# 2. USB: the driver, then the driver store's update of the devices it
#    matches; a printer plugged in before gets its Plug and Play queue, named
#    after the model, which set-default and status take as ours.
reset_state
wine_run reg add "$DELAYS" /v plugged /d "KALDO QTX_VELTRO" /f >/dev/null 2>&1
msiexec /i "$(msi_path "$msi")" PORT=USB
expect_code "install on USB" 0
expect_eq "drivers after USB" "KALDO QTX_VELTRO" "$(drivers)"
expect_eq "printers after USB" "KALDO QTX_VELTRO" "$(printers)"
expect_eq "the driver store command" \
  'pnputil /add-driver "C:\Program Files\PortSetup\PRT3Q42WD32.inf" /install' "$(started_lines | grep pnputil)"
expect_eq "from" 'C:\windows\system32\pnputil.exe' "$(started_programs | grep -i pnputil)"
run_console 'C:\Program Files\PortSetup\PortSetupCli.exe' set-default
[ "$RUN_CODE" = 0 ] || fail "set-default on the USB queue: $RUN_CODE $RUN_ERR"
expect_eq "default printer" "KALDO QTX_VELTRO,winspool,USB001" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' Device)"
run_console 'C:\Program Files\PortSetup\PortSetupCli.exe' status --port USB
printf '%s\n' "$RUN_OUT" | grep -qx 'Our printer: KALDO QTX_VELTRO' || fail "status: $RUN_OUT"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after USB" 0
nothing_installed "after USB uninstall"

# 3. A port above COM4 (a USB adapter's), and a bad PORT: refused by the
#    CLI's checks, nothing installed, nothing written.
reset_state
msiexec /i "$(msi_path "$msi")" PORT=com12
expect_code "install on COM12" 0
expect_eq "printer port" "COM12:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
expect_eq "COM12: settings" "9600,n,8,1,p" "$(reg_value "$PORTS" "COM12:")"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after COM12" 0
reset_state
rm -f "$cli_log"
msiexec /i "$(msi_path "$msi")" PORT=COM05
bad_port_code=$RUN_CODE
[ "$RUN_CODE" != 0 ] || fail "PORT=COM05 installed"
# A refused command line changes nothing of the machine, its log included.
[ ! -e "$cli_log" ] || fail "the refused command line wrote the CLI's log: $(cat "$cli_log")"
nothing_installed "after PORT=COM05"
expect_eq "starts after PORT=COM05" "" "$(started_lines)"

# 4. No printer setup tool: the installation fails and rolls back.
reset_state
rm -f "$SYSTEM32/rundll32.exe"
msiexec /i "$(msi_path "$msi")" PORT=COM1
no_tool_code=$RUN_CODE
install_standin
[ "$no_tool_code" != 0 ] || fail "an installation without the printer setup tool succeeded"
nothing_installed "after the failed installation"

# 5. Through the years: an upgrade keeps the stored choice and the printer
#    (it is not deleted and re-created), a repair changes nothing, a
#    maintenance installation with another PORT moves the printer and stores
#    it, and a later upgrade keeps that; a downgrade is refused.
CHOICE='HKLM\SOFTWARE\PortSetup'
USER_WINDOWS='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows'
build_msi() { bash "$root/packaging/build_msi.sh" "$root/build/package/x64" "$1" "$2" >/dev/null; }
older="$root/build/package-test/PortSetup-0.9.0.msi"
newer="$root/build/package-test/PortSetup-99.0.0.msi"
rebuild="$root/build/package-test/PortSetup-$version-rebuild.msi"
build_msi 0.9.0 "$older"
build_msi 99.0.0 "$newer"
build_msi "$version" "$rebuild"
on_com() {  # what, port, settings
  expect_eq "$1: printers" "KALDO Veltro MiniPrinter" "$(printers)"
  expect_eq "$1: printer port" "$2:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
  expect_eq "$1: $2: settings" "$3" "$(reg_value "$PORTS" "$2:")"
  expect_eq "$1: stored port" "$2" "$(reg_value "$CHOICE" Port)"
  expect_eq "$1: stored settings" "$3" "$(reg_value "$CHOICE" Settings)"
  expect_eq "$1: printer deletes" "" "$(started_lines | grep '/dl' || true)"
}

reset_state
msiexec /i "$(msi_path "$older")" PORT=COM3 SETTINGS=115200,e,7,2,x
expect_code "install 0.9.0" 0
expect_eq "entries with 0.9.0" "0.9.0" "$(entries)"
on_com "0.9.0" COM3 115200,e,7,2,x
device=$(reg_value "$USER_WINDOWS" Device)
case "$device" in "KALDO Veltro MiniPrinter,"*) ;; *) fail "0.9.0 did not make the printer the default: $device" ;; esac

rm -f "$LOG"
msiexec /i "$(msi_path "$msi")"
expect_code "upgrade to $version with no properties" 0
expect_eq "entries after the upgrade" "$version" "$(entries)"
on_com "after the upgrade" COM3 115200,e,7,2,x
expect_eq "the default printer after the upgrade" "$device" "$(reg_value "$USER_WINDOWS" Device)"

rm -f "$LOG"
msiexec /i "$(msi_path "$msi")" REINSTALL=ALL REINSTALLMODE=omus
expect_code "repair" 0
on_com "after the repair" COM3 115200,e,7,2,x
rm -f "$LOG"
msiexec /i "$(msi_path "$msi")"
expect_code "the same installation again" 0
on_com "after the same installation again" COM3 115200,e,7,2,x

rm -f "$LOG"
msiexec /i "$(msi_path "$msi")" PORT=COM4
expect_code "PORT=COM4 on the installed product" 0
on_com "after PORT=COM4" COM4 115200,e,7,2,x
started_lines | grep -q '/Xs /n "KALDO Veltro MiniPrinter" PortName "COM4:"' || fail "the printer was not moved: $(started_lines)"

rm -f "$LOG"
msiexec /i "$(msi_path "$newer")"
expect_code "upgrade to 99.0.0" 0
expect_eq "entries after the second upgrade" "99.0.0" "$(entries)"
on_com "after the second upgrade" COM4 115200,e,7,2,x

msiexec /i "$(msi_path "$older")" PORT=COM3
downgrade_code=$RUN_CODE
expect_code "downgrade" 1603
# Wine's log does not carry the message itself (the package test checks its text).
grep -aq 'WIX_DOWNGRADE_DETECTED = {' "$WINEPREFIX/drive_c/msi.log" || fail "the downgrade was not detected as one"
expect_eq "entries after the downgrade" "99.0.0" "$(entries)"
msiexec /x "$(msi_path "$newer")"
expect_code "uninstall after the upgrades" 0
nothing_installed "after the upgrades"
expect_eq "stored choice after the uninstall" "" "$(reg_value "$CHOICE" Port)"

# 6. A rebuild of the same version replaces the installed build.
reset_state
msiexec /i "$(msi_path "$msi")" PORT=COM2
expect_code "install $version" 0
msiexec /i "$(msi_path "$rebuild")"
expect_code "install a rebuild of $version" 0
expect_eq "entries after the rebuild" "$version" "$(entries)"
expect_eq "printer port after the rebuild" "COM2:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
msiexec /x "$(msi_path "$rebuild")"
expect_code "uninstall the rebuild" 0
nothing_installed "after the rebuild's uninstall"

# 7. An uninstall whose removal fails fails; REMOVEPRINTERS=0 gets out, and
#    leaves printers and driver alone. (Wine's msiexec loses the product's
#    registration when an uninstall fails, where Windows keeps it: here the
#    files that stay show that the uninstall did not complete.)
reset_state
msiexec /i "$(msi_path "$msi")" PORT=COM2
expect_code "install before the refused removal" 0
wine_run reg add "$DELAYS" /v fail /d dd /f >/dev/null 2>&1
msiexec /x "$(msi_path "$msi")"
refused_code=$RUN_CODE
[ "$RUN_CODE" != 0 ] || fail "an uninstall whose driver delete is refused succeeded"
[ -e "$installed/PortSetupCli.exe" ] || fail "the failed uninstall removed the files"
expect_eq "drivers after the refused uninstall" "KALDO QTX_VELTRO" "$(drivers)"
msiexec /x "$(msi_path "$msi")" REMOVEPRINTERS=0
expect_code "uninstall with REMOVEPRINTERS=0 after the refused one" 0
[ ! -e "$installed/PortSetupCli.exe" ] || fail "REMOVEPRINTERS=0 left the files"
expect_eq "entries after REMOVEPRINTERS=0" "" "$(entries)"
expect_eq "drivers after REMOVEPRINTERS=0" "KALDO QTX_VELTRO" "$(drivers)"

reset_state
msiexec /i "$(msi_path "$msi")" PORT=COM2
expect_code "install before REMOVEPRINTERS=0" 0
rm -f "$LOG"
msiexec /x "$(msi_path "$msi")" REMOVEPRINTERS=0
expect_code "uninstall with REMOVEPRINTERS=0" 0
expect_eq "entries after REMOVEPRINTERS=0" "" "$(entries)"
[ ! -e "$installed/PortSetupCli.exe" ] || fail "REMOVEPRINTERS=0 left the files"
expect_eq "printers after REMOVEPRINTERS=0" "KALDO Veltro MiniPrinter" "$(printers)"
expect_eq "drivers after REMOVEPRINTERS=0" "KALDO QTX_VELTRO" "$(drivers)"
expect_eq "starts during REMOVEPRINTERS=0" "" "$(started_lines)"
# The printer stays, and so does its choice, for the next installation.
expect_eq "stored choice after REMOVEPRINTERS=0" "COM2" "$(reg_value "$CHOICE" Port)"

# 8. An installation whose CLI fails after the printer was added: files and
#    entry are rolled back, the printer and driver stay (as the administrators' page says),
#    and its choice is not stored: the earlier one stays.
reset_state
wine_run reg add "$DELAYS" /v fail /d y /f >/dev/null 2>&1
msiexec /i "$(msi_path "$msi")" PORT=COM3
[ "$RUN_CODE" != 0 ] || fail "an installation whose default printer could not be set succeeded"
[ ! -e "$installed/PortSetupCli.exe" ] || fail "the failed installation left its files"
expect_eq "entries after the failed installation" "" "$(entries)"
expect_eq "printers after the failed installation" "KALDO Veltro MiniPrinter" "$(printers)"
expect_eq "drivers after the failed installation" "KALDO QTX_VELTRO" "$(drivers)"
expect_eq "stored choice after the failed installation (the earlier one)" "COM2" "$(reg_value "$CHOICE" Port)"
# 9. Values that would add arguments to SYSTEM's command line: a given one
#    fails the installation before anything is changed, with the reason in the
#    MSI log; a stored one (Wine's msiexec cannot take a quote in a given
#    value) is not used: the default takes its place, the run says so, and no
#    file appears where its --log pointed; an argument property given on the
#    command line is private, and not used at all.
reset_state
rm -f "$cli_log"
msiexec /i "$(msi_path "$msi")" 'PORT=COM1\'
unsafe_code=$RUN_CODE
[ "$RUN_CODE" != 0 ] || fail "PORT with a backslash installed"
# Wine's log names the refusing action but not its text (the package test checks that).
grep -a -A1 'Action start .*: RefuseUnsafeChoice' "$WINEPREFIX/drive_c/msi.log" | grep -aq 'Action ended .*INSTALL\|RefuseUnsafeChoice' \
  && ! grep -aq 'Action start .*: InstallInitialize' "$WINEPREFIX/drive_c/msi.log" \
  || fail "the installation did not end at the refusal, before InstallInitialize"
nothing_installed "after PORT with a backslash"
[ ! -e "$cli_log" ] || fail "PortSetupCli ran for PORT with a backslash: $(cat "$cli_log")"
wine_run reg add "$CHOICE" /v Port /d COM3 /f >/dev/null
wine_run reg add "$CHOICE" /v Settings /d '9600,n,8,1,x" --log "C:\injected.bat" &calc& "' /f >/dev/null
msiexec /i "$(msi_path "$msi")"
expect_code "install with an injected stored value" 0
on_com "after an injected stored value" COM3 9600,n,8,1,p
grep -q 'warning: the stored settings .*are not used; 9600,n,8,1,p are' "$cli_log" || fail "the run does not say the stored settings were not used"
[ ! -e "$WINEPREFIX/drive_c/injected.bat" ] || fail "a file appeared where the stored value's --log pointed"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after the injected stored value" 0
expect_eq "stored choice after the uninstall" "" "$(reg_value "$CHOICE" Port)"
# The arguments the package makes are private properties: one given on
# the command line is not used, so that its --log goes nowhere.
reset_state
rm -rf "$WINEPREFIX/drive_c/injected"
run_console --command-line "C:\\windows\\system32\\msiexec.exe /i \"$(msi_path "$msi")\" PORTARGUMENT=\"--port COM2 --log C:\\injected\\deep\\run.log --timeout 7\" /qn /l*v C:\\msi.log"
expect_code "install with PORTARGUMENT on the command line" 0
on_com "after PORTARGUMENT on the command line" COM1 9600,n,8,1,p
[ ! -e "$WINEPREFIX/drive_c/injected" ] || fail "PORTARGUMENT's --log was used: $(find "$WINEPREFIX/drive_c/injected")"
! grep -q -- '--log' "$cli_log" || fail "PORTARGUMENT reached the command line: $(grep -- '--log' "$cli_log")"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after PORTARGUMENT" 0
# 10. An install folder outside Program Files, which a cashier may have made
#     (C:\Tills\PortSetup), is refused before anything is written; one
#     inside Program Files whose folder above lets others change it (Wine
#     shows a world-writable folder so) runs no PortSetupCli: the custom
#     action checks its folder as PortSetupCli does, and says why.
reset_state
rm -f "$cli_log"
mkdir -p "$WINEPREFIX/drive_c/Tills/PortSetup"
msiexec /i "$(msi_path "$msi")" 'INSTALLFOLDER=C:\Tills\PortSetup' PORT=COM1
folder_code=$RUN_CODE
[ "$RUN_CODE" != 0 ] || fail "INSTALLFOLDER=C:\Tills\PortSetup installed"
grep -aq 'Action start .*: RefuseInstallFolder' "$WINEPREFIX/drive_c/msi.log" \
  && ! grep -aq 'Action start .*: InstallInitialize' "$WINEPREFIX/drive_c/msi.log" \
  || fail "the installation did not end at the install folder's refusal, before InstallInitialize"
[ -z "$(ls -A "$WINEPREFIX/drive_c/Tills/PortSetup")" ] || fail "files were written to C:\Tills\PortSetup"
nothing_installed "after INSTALLFOLDER=C:\Tills\PortSetup"
[ ! -e "$cli_log" ] || fail "PortSetupCli ran for INSTALLFOLDER=C:\Tills\PortSetup"
rm -rf "$WINEPREFIX/drive_c/Tills"
open_parent="$WINEPREFIX/drive_c/Program Files/Open"
mkdir -p "$open_parent" && chmod o+w "$open_parent"
msiexec /i "$(msi_path "$msi")" 'INSTALLFOLDER=C:\Program Files\Open\PortSetup' PORT=COM1
[ "$RUN_CODE" != 0 ] || fail "an install folder others can change ran PortSetupCli and installed"
tr -d '\r' < "$WINEPREFIX/drive_c/msi.log" | grep -q 'PortSetup did not run PortSetupCli.exe: its folder C:\\Program Files\\Open\\PortSetup' \
  || fail "the MSI log does not say why PortSetupCli was not run: $(tr -d '\r' < "$WINEPREFIX/drive_c/msi.log" | grep -i portsetupcli | tail -3)"
[ ! -e "$cli_log" ] || fail "PortSetupCli ran from a folder others can change"
expect_eq "starts from a folder others can change" "" "$(started_lines)"
rm -rf "$open_parent"
# 11. LOGCOPY=INTUNE: a copy of the run's log in CMTrace's format where
#     Intune's "Collect diagnostics" looks; any other value, a path among
#     them, is refused before anything changes.
reset_state
intune_log="$WINEPREFIX/drive_c/ProgramData/Microsoft/IntuneManagementExtension/Logs/PortSetupCli.log"
rm -f "$intune_log"
msiexec /i "$(msi_path "$msi")" PORT=COM3 LOGCOPY=INTUNE
expect_code "install with LOGCOPY=INTUNE" 0
[ -f "$intune_log" ] || fail "no CMTrace copy in Intune's log folder"
tr -d '\r' < "$intune_log" | head -1 | grep -q '^<!\[LOG\[run: PortSetupCli install --port COM3 --log C:\\ProgramData\\Microsoft\\IntuneManagementExtension\\Logs\\PortSetupCli.log --log-format cmtrace' \
  || fail "the CMTrace copy's first line: $(head -1 "$intune_log")"
tr -d '\r' < "$intune_log" | grep -q '^<!\[LOG\[verdict: done, exit code 0\]LOG\]!><time="[0-9:.]*[+-][0-9]*" date="[0-9-]*" component="PortSetupCli" context="" type="1" thread="[0-9]*" file="">$' \
  || fail "the CMTrace copy's verdict: $(tail -1 "$intune_log")"
grep -q '^20[0-9-]*T[0-9:]*[+-][0-9:]* verdict: done, exit code 0' "$cli_log" || fail "the machine log is not as it was"
echo "CMTrace copy, first lines:"
tr -d '\r' < "$intune_log" | head -3
msiexec /x "$(msi_path "$msi")" LOGCOPY=INTUNE
expect_code "uninstall with LOGCOPY=INTUNE" 0
tr -d '\r' < "$intune_log" | grep -q '^<!\[LOG\[run: PortSetupCli remove' || fail "the removal left no CMTrace lines"
reset_state
msiexec /i "$(msi_path "$msi")" PORT=COM3 'LOGCOPY=C:\Users\Public\x.log'
[ "$RUN_CODE" != 0 ] || fail "LOGCOPY with a path installed"
grep -aq 'Action start .*: RefuseLogCopy' "$WINEPREFIX/drive_c/msi.log" || fail "LOGCOPY with a path was not refused"
nothing_installed "after LOGCOPY with a path"
[ ! -e "$WINEPREFIX/drive_c/users/Public/x.log" ] || fail "a log was written where LOGCOPY pointed"

# 12. PORT=AUTO DEVICE=...: the COM port of the adapter's device node (as
#     Windows keeps it, listed by Wine's SetupAPI); the device is stored, not
#     the number, for upgrades and repairs to follow. A device that is not
#     there fails the installation with the CLI's 1167 before any change.
node='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000'
on_exit "wine_run reg delete 'HKLM\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS' /f >/dev/null 2>&1 || true"
wine_run reg add "$node" /v ClassGUID /d '{4d36e978-e325-11ce-bfc1-08002be10318}' /f >/dev/null
wine_run reg add "$node" /v HardwareID /t REG_MULTI_SZ /d 'FTDIBUS\COMPORT&VID_0403&PID_6001' /f >/dev/null
wine_run reg add "$node" /v FriendlyName /d 'USB Serial Port (COM7)' /f >/dev/null
wine_run reg add "$node\Device Parameters" /v PortName /d COM7 /f >/dev/null
reset_state
wine_run reg delete "$CHOICE" /f >/dev/null 2>&1 || true
msiexec /i "$(msi_path "$msi")" PORT=AUTO DEVICE=A5XK3RJTA
expect_code "install with PORT=AUTO" 0
expect_eq "printer port by its device" "COM7:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
expect_eq "the stored device" "A5XK3RJTA" "$(reg_value "$CHOICE" Device)"
expect_eq "no stored number" "" "$(reg_value "$CHOICE" Port)"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after PORT=AUTO" 0
nothing_installed "after the PORT=AUTO uninstall"
reset_state
msiexec /i "$(msi_path "$msi")" PORT=AUTO DEVICE=PID_9999
[ "$RUN_CODE" != 0 ] || fail "PORT=AUTO with no matching device installed"
grep -aq 'PortSetupCli install ended with exit code 1167' "$WINEPREFIX/drive_c/msi.log" || fail "the MSI log lacks the CLI's 1167"
nothing_installed "after PORT=AUTO with no device"

echo "msiexec exit codes under Wine: PORT=COM05 $bad_port_code, no printer setup tool $no_tool_code, downgrade $downgrade_code, refused removal $refused_code, unsafe PORT $unsafe_code, INSTALLFOLDER outside Program Files $folder_code"
echo "msi: ok"
