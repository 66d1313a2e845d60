#!/usr/bin/env bash
# The MSI never waits forever: a console program PortSetupCli starts and
# leaves running at its time limit (pnputil, shown by a console stand-in that
# takes 40 s) keeps neither the custom action nor msiexec: the CLI ends 1460,
# the action says so, and msiexec ends right after, not when the program does.
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi="$root/build/dist/PortSetup-$version-x64.msi"
[ -f "$msi" ] || fail "no $msi: scripts/test builds it with tests/packaging/package_test.sh first"
cli_log="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
msi_log() { tr -d '\r' < "$WINEPREFIX/drive_c/msi.log" 2>/dev/null || true; }

# The package with --timeout 5 in its install command.
limited="$WINEPREFIX/drive_c/limited.msi"
cp "$msi" "$limited"
target=$(msiinfo export "$limited" CustomAction | tr -d '\r' | awk -F'\t' '$1 == "InstallPrinterCommand" { print $4 }')
case "$target" in *' --remember') ;; *) fail "the install command line is not as expected: $target" ;; esac
msibuild "$limited" -q "UPDATE \`CustomAction\` SET \`Target\`='${target% --remember} --timeout 5 --remember' WHERE \`Action\`='InstallPrinterCommand'"

reset_state
console="$PORTSETUP_BUILD/printui_standin_console.exe"
cp "$console" "$SYSTEM32/pnputil.exe.new" && mv -f "$SYSTEM32/pnputil.exe.new" "$SYSTEM32/pnputil.exe"
on_exit 'wine_run taskkill /f /im pnputil.exe >/dev/null 2>&1; install_standin'
standin_delay pnputil 40000
started=$SECONDS
run_console 'C:\windows\system32\msiexec.exe' /i "$(winpath "$limited")" PORT=USB /qn /l*v 'C:\msi.log'
took=$((SECONDS - started))
[ "$RUN_CODE" != 0 ] || fail "the installation succeeded with pnputil still running"
grep -q 'verdict: failed, exit code 1460' "$cli_log" || fail "the CLI's verdict: $(tail -5 "$cli_log")"
msi_log | grep -q 'PortSetupCli install ended with exit code 1460' || fail "the MSI log: $(msi_log | grep PortSetupCli | tail -5)"
# The stand-in takes 40 s: msiexec ended well before it.
[ "$took" -lt 30 ] || fail "msiexec took $took s: it waited for the program the CLI left running"
echo "msiexec ended $RUN_CODE after $took s; the CLI's verdict: $(grep -o 'verdict: failed, exit code 1460[^:]*' "$cli_log" | tail -1)"
