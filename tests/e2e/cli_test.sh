#!/usr/bin/env bash
# PortSetupCli.exe as a deployment system runs it: install on a COM port with
# a printer setup tool slower than the window's fixed wait, USB, package
# folders with blanks and Cyrillic letters, bad usages, a missing INF file, a
# time limit, two runs at once, removal against slow deletes, status plain
# and as JSON, and no printer setup tool at all. Exit codes are read whole.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
cli_exe=$(winpath "$package/PortSetupCli.exe")
logfile="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
cli() { run_console "$cli_exe" "$@"; }
inf_arg() { printf '"%s\\PRT3Q42WD32.inf"' "$(winpath "$1")"; }

# Status before anything is installed: valid JSON, not installed.
reset_state
rm -f "$logfile"
cli status --json
expect_code "status before" 1605
expect_eq "driver installed before" "False" "$(json 'd["driverInstalled"]')"
expect_eq "printers before" "0" "$(json 'len(d["printers"])')"

# 1. COM7 (a USB adapter's port) with chosen settings; the installation takes 5 s, more than the window waits.
standin_delay if 5000
cli install --port COM7 --settings 19200,e,7,1,x
expect_code "install on COM7" 0
expect_lines "install commands" \
"$PRINTUI /q /if /b \"KALDO Veltro MiniPrinter\" /f $(inf_arg "$package") /r \"COM7:\" /m \"KALDO QTX_VELTRO\"
$PRINTUI /q /y /n \"KALDO Veltro MiniPrinter\"" "$(started_lines)"
expect_eq "COM7: settings" "19200,e,7,1,x" "$(reg_value "$PORTS" "COM7:")"
expect_eq "default printer" "KALDO Veltro MiniPrinter,winspool,COM7:" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' Device)"
printf '%s\n' "$RUN_OUT" | grep -q '^started: .*/if /b' || fail "no progress line for the install command"
[ "$(printf '%s\n' "$RUN_OUT" | tail -1)" = "done" ] || fail "last line of stdout: $(printf '%s\n' "$RUN_OUT" | tail -1)"
[ -f "$logfile" ] || fail "no log after the install on COM7; stderr: $RUN_ERR"
log=$(tr -d '\r' < "$logfile")
printf '%s\n' "$log" | grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} run: PortSetupCli install --port COM7 --settings 19200,e,7,1,x$' \
  || fail "log lacks the run line: $log"
printf '%s\n' "$log" | grep -Eq ' ended with exit code 0 after (49[0-9]{2}|[5-9][0-9]{3}|[1-9][0-9]{4}) ms: .*/if /b' \
  || fail "log lacks the install's end and its 5 s: $log"
printf '%s\n' "$log" | grep -q ' verdict: done, exit code 0$' || fail "log lacks the verdict: $log"

cli status --port COM7 --json
expect_code "status after install" 0
expect_eq "status printer" "KALDO Veltro MiniPrinter COM7: True" \
  "$(json '" ".join([d["printers"][0]["name"], d["printers"][0]["port"], str(d["printers"][0]["default"])])')"
expect_eq "status COM7 value" "19200,e,7,1,x" "$(json 'd["ports"]["COM7:"]')"
expect_eq "the package's driver version" "1.2.3.4" "$(json 'd["packageDriverVersion"]')"
cli status --port COM2
expect_code "status for another port" 1605
printf '%s\n' "$RUN_OUT" | grep -q '^Installed as asked (COM2): no (the printer "KALDO Veltro MiniPrinter" is on COM7:, not COM2:' || fail "plain status: $RUN_OUT"

# 2. A second run while one is in progress: 1618, and the first is not disturbed.
reset_state
standin_delay if 4000
( cli install --port COM1; echo "$RUN_CODE" > "$WINEPREFIX/first-code" ) &
sleep 2
cli install --port COM2
expect_code "second run at once" 1618
wait
expect_eq "first run" "0" "$(cat "$WINEPREFIX/first-code")"
expect_eq "commands of the second run" "0" "$(started_lines | grep -c 'COM2' || true)"

# 3. USB, from package folders with blanks and with Cyrillic letters.
for folder in "Program Files/Kaldo Driver" "Драйвер принтера"; do
  reset_state
  make_package "$WINEPREFIX/drive_c/$folder"
  ports_before=$(reg_query "$PORTS")
  cli install --port USB --package "$(winpath "$WINEPREFIX/drive_c/$folder")"
  expect_code "USB from $folder" 0
  expect_lines "USB command from $folder" \
    "$PRINTUI /q /ia /f $(inf_arg "$WINEPREFIX/drive_c/$folder") /m \"KALDO QTX_VELTRO\"
pnputil /add-driver $(inf_arg "$WINEPREFIX/drive_c/$folder") /install" "$(started_lines)"
  expect_eq "drivers after USB" "KALDO QTX_VELTRO" "$(drivers)"
  expect_eq "Ports after USB" "$ports_before" "$(reg_query "$PORTS")"
done

# 4. Bad usage starts nothing: exit 87 (ERROR_INVALID_PARAMETER) with the usage text.
reset_state
for args in "install --port COM257" "install --port COM1 --settings 9601,n,8,1,p" \
            "install --port COM1 --speed 9600" "install --port USB --settings 9600,n,8,1,p"; do
  # shellcheck disable=SC2086
  cli $args
  expect_code "$args" 87
  printf '%s\n' "$RUN_ERR" | grep -q 'PortSetupCli install --port' || fail "$args: no usage text: $RUN_ERR"
done
expect_eq "starts after bad usage" "" "$(started_lines)"

# 5. No INF file in the package folder: exit 1620, nothing started.
mkdir -p "$WINEPREFIX/drive_c/Empty"
cli install --port COM1 --package 'C:\Empty'
expect_code "missing INF" 1620
printf '%s\n' "$RUN_ERR" | grep -q 'C:\\Empty\\PRT3Q42WD32.inf' || fail "missing INF not named: $RUN_ERR"
expect_eq "starts with a missing INF" "" "$(started_lines)"

# 6. A command that outlasts --timeout: 1460, named, left running.
reset_state
standin_delay if 10000
com4_before=$(reg_value "$PORTS" "COM4:")
cli install --port COM4 --settings 2400,n,8,1 --timeout 2
expect_code "time limit" 1460
printf '%s\n' "$RUN_ERR" | grep -q 'did not end within 2 s' || fail "time limit not explained: $RUN_ERR"
wait_log 1
expect_eq "COM4: untouched after the time limit" "$com4_before" "$(reg_value "$PORTS" "COM4:")"

# 7. Removal against slow deletes leaves nothing; a full-width name that uses
#    the driver is found through the print system.
reset_state
install_driver
standin_delay dl 400
printf '%s\n' "POS A	KALDO QTX_VELTRO" "ＰＯＳ Ｂ	KALDO QTX_VELTRO" "Hidden use	KALDO QTX_VELTRO	expand" \
  "Office	Generic / Text Only" | add_printers
cli remove
expect_code "remove" 0
expect_eq "printers left" "Office" "$(printers)"
expect_eq "drivers left" "" "$(drivers)"
expect_eq "driver delete" "done: driver deleted" "$(outcomes | tail -1)"
expect_eq "one command at a time" "yes" "$(last_start_after_others)"
cli status --json
expect_code "status after remove" 1605
expect_eq "driver after remove" "False" "$(json 'd["driverInstalled"]')"

# 8. Without a printer setup tool: exit 1603 with the system's reason.
reset_state
rm -f "$SYSTEM32/rundll32.exe"
on_exit install_standin
cli install --port COM1
expect_code "no printer setup tool" 1603
printf '%s\n' "$RUN_ERR" | grep -q 'could not be started' || fail "no reason given: $RUN_ERR"
echo "cli: ok"
