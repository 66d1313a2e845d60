#!/usr/bin/env bash
# test-print under Wine's print system: the printer the printer setup tool
# added prints; Wine's spooler sends COM3:'s data to a file, where the page's
# bytes must arrive and test-print end 0; a port that never takes the data
# (a pipe nobody reads) ends at the time limit, 1460, with the job's status;
# a port the print system cannot send to at all ends 29.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
cli() { run_console "$(winpath "$package/PortSetupCli.exe")" "$@"; }
SPOOLER='HKCU\Software\Wine\Printing\Spooler'
port_to() { wine_run reg add "$SPOOLER" /v COM3: /d "$1" /f >/dev/null; }
on_exit "wine_run reg delete '$SPOOLER' /v COM3: /f >/dev/null 2>&1 || true"

reset_state
make_package "$package"
cli install --port COM3 --settings 19200,e,7,1,x
expect_code "install on COM3" 0

# 1. The page reaches the port.
out="$WINEPREFIX/com3.out"
rm -f "$out"
port_to "$out"
cli test-print --timeout 30
expect_code "test-print to a port that takes the data" 0
[ -s "$out" ] || fail "no bytes reached the port; stdout: $RUN_OUT; stderr: $RUN_ERR"
head -1 "$out" | tr -d '\r' | grep -qx 'PortSetup test print' || fail "the port got something else: $(head -c 200 "$out")"
grep -aq '^Port: COM3: (19200,e,7,1,x)' "$out" || fail "the page lacks the port's settings: $(cat "$out")"
printf '%s\n' "$RUN_OUT" | grep -q '^printed: job [0-9]* left the queue$' || fail "test-print's output: $RUN_OUT"
echo "bytes that reached the port: $(stat -c %s "$out")"
cli test-print --json
expect_code "test-print --json" 0
json_field() { printf '%s' "$RUN_OUT" | python3 -c "import json,sys; print(json.load(sys.stdin)$1)"; }
expect_eq "printed, as JSON" "True 0" "$(json_field '["printed"]') $(json_field '["exitCode"]')"

# 2. A port that never takes the data: Wine's spooler waits on a pipe that
#    nobody reads. The run ends at its time limit with the job's status.
fifo="$WINEPREFIX/com3.fifo"
rm -f "$fifo"
mkfifo "$fifo"
port_to "$fifo"
started=$(date +%s)
cli test-print --timeout 3
took=$(( $(date +%s) - started ))
expect_code "test-print to a port that takes nothing" 1460
printf '%s\n' "$RUN_ERR" | grep -q 'Job [0-9]* is still queued after 3 s (being sent to the port); the port is COM3: (19200,e,7,1,x)' \
  || fail "the time limit does not say the job's status and the port: $RUN_ERR"
[ "$took" -lt 60 ] || fail "test-print took $took s past a 3 s limit"
rm -f "$fifo"

# 3. A port the print system cannot send to: the page is not taken.
port_to 'Z:\nonexistent\folder\com3.out'
cli test-print --timeout 10
expect_code "test-print to a port the print system cannot open" 29
printf '%s\n' "$RUN_ERR" | grep -q 'The test page could not be sent to "KALDO Veltro MiniPrinter"' || fail "stderr: $RUN_ERR"
echo "test_print: ok"
