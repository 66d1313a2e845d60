#!/usr/bin/env bash
# The MSI package under Wine's msiexec, as deployment systems run it: install
# with PORT and SETTINGS, USB, uninstall, a failing installation that rolls
# back, a bad PORT, an upgrade from an older version and a refused downgrade.
# Exit codes are read whole.
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi="$root/build/dist/PortSetup-$version.msi"
[ -f "$msi" ] || fail "no $msi: scripts/test builds it with tests/packaging/package_test.sh first"
installed="$WINEPREFIX/drive_c/Program Files/PortSetup"
cli_log="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

msiexec() { run_console 'C:\windows\system32\msiexec.exe' "$@" /qn /l*v 'C:\msi.log'; }
expect_code() {  # what, expected
  [ "$RUN_CODE" = "$2" ] || { tail -40 "$WINEPREFIX/drive_c/msi.log" 2>/dev/null | iconv -f UTF-16LE -t UTF-8 2>/dev/null >&2 || true
                              fail "$1: exit code $RUN_CODE, expected $2"; }
}
# The Add/Remove Programs entries named PortSetup: "version" lines.
entries() {
  wine_run reg query "$UNINSTALL" /s 2>/dev/null | tr -d '\r' | awk '
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
grep -q 'run: PortSetupCli install --port COM2 --settings 19200,e,7,1,x --package "C:\\Program Files\\PortSetup\\."' "$cli_log" \
  || fail "the CLI's log lacks the installation: $(cat "$cli_log")"
grep -q 'verdict: done, exit code 0' "$cli_log" || fail "the CLI's log lacks the verdict"
expect_eq "the install command line" \
  "$PRINTUI /q /if /b \"KALDO Veltro MiniPrinter\" /f \"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf\" /r \"COM2:\" /m \"KALDO QTX_VELTRO\"" \
  "$(started_lines | head -1)"

msiexec /x "$(msi_path "$msi")"
expect_code "uninstall" 0
nothing_installed "after uninstall"
grep -q 'run: PortSetupCli remove' "$cli_log" || fail "the CLI's log lacks the removal"

# 2. USB: the driver only.
reset_state
msiexec /i "$(msi_path "$msi")" PORT=USB
expect_code "install on USB" 0
expect_eq "drivers after USB" "KALDO QTX_VELTRO" "$(drivers)"
expect_eq "printers after USB" "" "$(printers)"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after USB" 0
nothing_installed "after USB uninstall"

# 3. A bad PORT: the CLI's usage error in its log, nothing installed.
reset_state
rm -f "$cli_log"
msiexec /i "$(msi_path "$msi")" PORT=COM9
bad_port_code=$RUN_CODE
[ "$RUN_CODE" != 0 ] || fail "PORT=COM9 installed"
grep -q 'verdict: bad usage, exit code 2: --port "COM9" is not one of COM1, COM2, COM3, COM4, USB' "$cli_log" \
  || fail "the CLI's log lacks the usage error: $(cat "$cli_log" 2>/dev/null)"
nothing_installed "after PORT=COM9"
expect_eq "starts after PORT=COM9" "" "$(started_lines)"

# 4. No printer setup tool: the installation fails and rolls back.
reset_state
rm -f "$SYSTEM32/rundll32.exe"
msiexec /i "$(msi_path "$msi")" PORT=COM1
no_tool_code=$RUN_CODE
install_standin
[ "$no_tool_code" != 0 ] || fail "an installation without the printer setup tool succeeded"
nothing_installed "after the failed installation"

# 5. An upgrade from an older version leaves one entry and a working
#    installation; a downgrade is refused.
reset_state
older="$root/build/package-test/PortSetup-0.9.0.msi"
(cd "$root/build/package" && wixl -a x64 -D Version=0.9.0 -D BinDir=bin -I . -o "$older" "$root/packaging/PortSetup.wxs")
msiexec /i "$(msi_path "$older")" PORT=COM3
expect_code "install 0.9.0" 0
expect_eq "entries with 0.9.0" "0.9.0" "$(entries)"
msiexec /i "$(msi_path "$msi")" PORT=COM4
expect_code "upgrade to $version" 0
expect_eq "entries after the upgrade" "$version" "$(entries)"
expect_eq "printer port after the upgrade" "COM4:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
run_console "$(winpath "$installed/PortSetupCli.exe")" status --port COM4
expect_code "status after the upgrade" 0
msiexec /i "$(msi_path "$older")" PORT=COM3
downgrade_code=$RUN_CODE
expect_code "downgrade" 1603
# Wine's log does not carry the message itself (the package test checks its text).
grep -aq 'WIX_DOWNGRADE_DETECTED = {' "$WINEPREFIX/drive_c/msi.log" || fail "the downgrade was not detected as one"
expect_eq "entries after the downgrade" "$version" "$(entries)"
msiexec /x "$(msi_path "$msi")"
expect_code "uninstall after the upgrade" 0
nothing_installed "at the end"
echo "msiexec exit codes under Wine: PORT=COM9 $bad_port_code, no printer setup tool $no_tool_code, downgrade $downgrade_code"
echo "msi: ok"
