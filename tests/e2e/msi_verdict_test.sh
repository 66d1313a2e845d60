#!/usr/bin/env bash
# What reaches an administrator through the MSI, under Wine's msiexec: a
# refused installation (a disabled Print Spooler, Windows protected print
# mode) fails with the cause and the fix in the MSI log and the verdict in
# the registry; a restart the installation needs ends msiexec with 3010.
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi="$root/build/dist/PortSetup-$version-x64.msi"
[ -f "$msi" ] || fail "no $msi: scripts/test builds it with tests/packaging/package_test.sh first"
KEY='HKLM\SOFTWARE\PortSetup'
WPP='HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP'
msi_log="$WINEPREFIX/drive_c/msi.log"
msiexec() { rm -f "$msi_log"; run_console 'C:\windows\system32\msiexec.exe' "$@" /qn /l*v 'C:\msi.log'; }
# The MSI log as text, whichever encoding Wine wrote it in.
log_text() { if [ "$(head -c 2 "$msi_log" | od -An -tx1 | tr -d ' ')" = fffe ]; then iconv -f UTF-16LE -t UTF-8 "$msi_log"; else cat "$msi_log"; fi; }
on_exit 'spooler_start 3'
on_exit "wine_run reg delete '$WPP' /f >/dev/null 2>&1 || true"

# 1. A disabled Print Spooler.
reset_state
spooler_start 4
msiexec /i "$(winpath "$msi")" PORT=COM2
[ "$RUN_CODE" != 0 ] || fail "the installation with a disabled Print Spooler succeeded"
echo "msiexec exit code with a disabled Print Spooler: $RUN_CODE"
log_text | grep -q 'PortSetup could not install the printer driver (PortSetupCli exit code 1058):' \
  || fail "the MSI log lacks the cause: $(log_text | grep -a 'PortSetup' | tail -5)"
log_text | grep -q 'the Print Spooler service is disabled; nothing was changed. Fix: set it to start automatically' \
  || fail "the MSI log lacks the fix"
echo "the MSI log's lines for the refused installation:"
log_text | grep -a -A4 'PortSetup could not install' | sed 's/^/  /'
expect_eq "last exit code" "0x422" "$(reg_value "$KEY" LastExitCode)"
reg_value "$KEY" LastResult | grep -q '^failed: the Print Spooler service is disabled' || fail "LastResult: $(reg_value "$KEY" LastResult)"
expect_eq "printers" "" "$(printers)"
spooler_start 3

# 2. Windows protected print mode.
reset_state
wine_run reg add "$WPP" /v WindowsProtectedPrintGroupPolicyState /t REG_DWORD /d 1 /f >/dev/null
msiexec /i "$(winpath "$msi")" PORT=COM2
[ "$RUN_CODE" != 0 ] || fail "the installation under Windows protected print mode succeeded"
log_text | grep -q 'PortSetup could not install the printer driver (PortSetupCli exit code 1625):' \
  || fail "the MSI log lacks the cause: $(log_text | grep -a 'PortSetup' | tail -5)"
log_text | grep -q 'Windows protected print mode is on' || fail "the MSI log does not name protected print mode"
expect_eq "last exit code" "0x659" "$(reg_value "$KEY" LastExitCode)"
wine_run reg delete "$WPP" /f >/dev/null

# 3. USB, and the driver store tool asks for a restart: msiexec ends 3010.
reset_state
wine_run reg add "$DELAYS" /v plugged /d "KALDO QTX_VELTRO" /f >/dev/null
standin_delay restart 1
msiexec /i "$(winpath "$msi")" PORT=USB
echo "msiexec exit code when the installation needs a restart: $RUN_CODE"
expect_code "install on USB with a restart" 3010
log_text | grep -q 'PortSetupCli install ended with exit code 3010: done; Windows must restart' || fail "the MSI log lacks the restart"
expect_eq "last exit code" "0xbc2" "$(reg_value "$KEY" LastExitCode)"
msiexec /x "$(winpath "$msi")"
expect_code "uninstall" 0
echo "msi_verdict: ok"
