#!/usr/bin/env bash
# What the fleet reads of a run, under Wine: the detection's driver version
# (Wine's print system reports none, so an asked version is never taken as
# installed), pnputil's restart passed on as 3010, remove refusing a
# disabled Print Spooler with 1058 before changing anything, the last
# verdict kept in the registry, and --log as a copy beside the machine log.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
cli() { run_console "$(winpath "$package/PortSetupCli.exe")" "$@"; }
KEY='HKLM\SOFTWARE\PortSetup'
machine_log="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
json_field() { printf '%s' "$RUN_OUT" | python3 -c "import json,sys; print(json.load(sys.stdin)$1)"; }

reset_state
make_package "$package"
cli install --port COM1
expect_code "install on COM1" 0
expect_eq "last exit code after the install" "0x0" "$(reg_value "$KEY" LastExitCode)"
expect_eq "last result after the install" "done" "$(reg_value "$KEY" LastResult)"
reg_value "$KEY" LastRunTime | grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2}T' || fail "no LastRunTime: $(reg_query "$KEY")"

# 1. A detection that asks for the package's driver version. Wine's print
#    system reports no driver version (it leaves DRIVER_INFO_6's at 0): the
#    version is unknown, and an unknown version is not taken as the asked one.
cli status --port COM1 --min-driver-version 1.2.3.4 --json
expect_code "status with a minimum driver version" 1605
expect_eq "the asked version, as JSON" "1.2.3.4" "$(json_field '["minDriverVersion"]')"
expect_eq "the installed version, as JSON" "None" "$(json_field '["driverVersion"]')"
json_field '["notAsAsked"]' | grep -q "the installed driver's version is unknown (at least 1.2.3.4 is asked)" \
  || fail "the reason: $RUN_OUT"
cli status --port COM1
expect_code "status without a version" 0
cli status --min-driver-version 1.2.x
expect_code "a version that is none" 87

# 2. The driver store tool asks for a restart: done, 3010, and no "already installed".
reset_state
wine_run reg add "$DELAYS" /v plugged /d "KALDO QTX_VELTRO" /f >/dev/null
standin_delay restart 1
cli install --port USB
expect_code "install on USB with a restart" 3010
printf '%s\n' "$RUN_OUT" | grep -q '^restart needed: a restart of Windows is needed before the USB printer uses the driver' \
  || fail "no restart line: $RUN_OUT"
! printf '%s\n' "$RUN_OUT" | grep -q 'already installed' || fail "a restart read as already installed: $RUN_OUT"
expect_eq "last exit code after the restart" "0xbc2" "$(reg_value "$KEY" LastExitCode)"
reg_value "$KEY" LastResult | grep -q '^done, a restart is needed: ' || fail "LastResult: $(reg_value "$KEY" LastResult)"

# 3. remove with a disabled Print Spooler: 1058 with the fix, nothing removed.
reset_state
cli install --port COM2 --remember
expect_code "install on COM2" 0
on_exit 'spooler_start 3'
spooler_start 4
rm -f "$LOG"
cli remove
expect_code "remove with a disabled Print Spooler" 1058
printf '%s\n' "$RUN_ERR" | grep -q 'the Print Spooler service is disabled; nothing was changed. Fix: ' || fail "stderr: $RUN_ERR"
expect_eq "programs started" "" "$(started_lines)"
expect_eq "printers after the refusal" "KALDO Veltro MiniPrinter" "$(printers)"
expect_eq "last exit code after the refusal" "0x422" "$(reg_value "$KEY" LastExitCode)"
expect_eq "the stored port after the refusal" "COM2" "$(reg_value "$KEY" Port)"
spooler_start 3

# 4. --log adds a copy: the machine log is written too.
rm -f "$WINEPREFIX/drive_c/copy.log"
cli remove --log 'C:\copy.log'
expect_code "remove" 0
grep -q 'verdict: done, exit code 0' "$WINEPREFIX/drive_c/copy.log" || fail "the copy lacks the verdict"
tail -1 "$machine_log" | grep -q 'verdict: done, exit code 0' || fail "the machine log lacks the verdict"
expect_eq "the stored port after the removal" "" "$(reg_value "$KEY" Port)"
expect_eq "last exit code after the removal" "0x0" "$(reg_value "$KEY" LastExitCode)"
echo "verdicts: ok"
