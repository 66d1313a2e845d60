#!/usr/bin/env bash
# The printer as the default printer of each user, the way the MSI sets it
# up: its Active Setup entry, and the command line that entry holds, run
# exactly as the registry keeps it; then set-default without the printer,
# and status naming whose default it speaks of.
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi="$root/build/dist/PortSetup-$version-x64.msi"
[ -f "$msi" ] || fail "no $msi: scripts/test builds it with tests/packaging/package_test.sh first"
ACTIVE_SETUP='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{8F3C2A6D-4B1E-4E7A-9C55-2D7E1A0B6F34}'
USER_WINDOWS='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows'

msiexec() { run_console 'C:\windows\system32\msiexec.exe' "$@" /qn; }
default_value() { { reg_query "$1" /ve || true; } | awk '$1 == "(Default)" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }
another_default() {
  wine_run reg add "$USER_WINDOWS" /v Device /d 'Office,winspool,LPT1:' /f >/dev/null 2>&1
  wine_run reg delete "$USER_WINDOWS" /v LegacyDefaultPrinterMode /f >/dev/null 2>&1 || true
}

# 1. The MSI registers the entry; its command line, run as a user signing
#    in would have it run, makes the printer that user's default.
reset_state
msiexec /i "$(winpath "$msi")" PORT=COM3
expect_code "install" 0
expect_eq "entry name" "PortSetup: KALDO Veltro MiniPrinter as the default printer" "$(default_value "$ACTIVE_SETUP")"
stub=$(reg_value "$ACTIVE_SETUP" StubPath)
expect_eq "StubPath" '"C:\Program Files\PortSetup\PortSetupCli.exe" set-default --quiet' "$stub"
expect_eq "Version" "$(printf '%s' "$version" | tr . ,)" "$(reg_value "$ACTIVE_SETUP" Version)"
expect_eq "IsInstalled" "REG_DWORD 0x1" "$(reg_type "$ACTIVE_SETUP" IsInstalled) $(reg_value "$ACTIVE_SETUP" IsInstalled)"

another_default
rm -f "$LOG"
run_console --command-line "$stub"
expect_code "the entry's command line" 0
expect_eq "its output (quiet)" "" "$RUN_OUT"
case "$(reg_value "$USER_WINDOWS" Device)" in
  "KALDO Veltro MiniPrinter,"*) ;;
  *) fail "the user's default is not the printer: $(reg_value "$USER_WINDOWS" Device)" ;;
esac
expect_eq "LegacyDefaultPrinterMode" "REG_DWORD 0x1" \
  "$(reg_type "$USER_WINDOWS" LegacyDefaultPrinterMode) $(reg_value "$USER_WINDOWS" LegacyDefaultPrinterMode)"
expect_eq "what it started" 'rundll32 printui.dll,PrintUIEntry /q /y /n "KALDO Veltro MiniPrinter"' "$(started_lines)"

# status says whose default it is and that Windows does not manage it now.
run_console 'C:\Program Files\PortSetup\PortSetupCli.exe' status --json
expect_code "status" 0
printf '%s' "$RUN_OUT" | grep -q '"account":"[^"]' || fail "status names no account: $RUN_OUT"
printf '%s' "$RUN_OUT" | grep -q '"windowsManagesDefault":false' || fail "status: $RUN_OUT"

msiexec /x "$(winpath "$msi")"
expect_code "uninstall" 0
expect_eq "entry after the uninstall" "" "$(reg_query "$ACTIVE_SETUP" 2>/dev/null || true)"

# 2. SETDEFAULT=0: no entry.
reset_state
msiexec /i "$(winpath "$msi")" PORT=COM3 SETDEFAULT=0
expect_code "install with SETDEFAULT=0" 0
expect_eq "entry with SETDEFAULT=0" "" "$(reg_query "$ACTIVE_SETUP" 2>/dev/null || true)"
msiexec /x "$(winpath "$msi")"
expect_code "uninstall after SETDEFAULT=0" 0

# 3. Without the printer: exit 1, the user's default as it was.
reset_state
another_default
run_console "$(winpath "$PORTSETUP_BUILD/PortSetupCli.exe")" set-default
expect_code "set-default without the printer" 3012
printf '%s\n' "$RUN_ERR" | grep -q 'No printer of the driver "KALDO QTX_VELTRO" is installed on this machine yet' \
  || fail "the reason is not said: $RUN_ERR"
expect_eq "Device without the printer" "Office,winspool,LPT1:" "$(reg_value "$USER_WINDOWS" Device)"
expect_eq "starts without the printer" "" "$(started_lines)"
# Under Active Setup (--quiet) the failure arranges one more try at the next sign-in.
run_console "$(winpath "$PORTSETUP_BUILD/PortSetupCli.exe")" set-default --quiet
expect_code "set-default --quiet without the printer" 3012
expect_eq "one more try at the next sign-in" "\"$(winpath "$PORTSETUP_BUILD")\\PortSetupCli.exe\" set-default --quiet" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' PortSetupDefaultPrinter)"
run_console "$(winpath "$PORTSETUP_BUILD/PortSetupCli.exe")" status --json
printf '%s' "$RUN_OUT" | grep -q '"windowsManagesDefault":true' || fail "status: $RUN_OUT"
echo "default printer: ok"
