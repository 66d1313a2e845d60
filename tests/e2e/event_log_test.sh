#!/usr/bin/env bash
# What administrators see without opening a file: the event each run writes
# to the Application log (Wine prints it on its debug channels: the text on
# eventlog, the event's type and ID on advapi), the message tables that
# Event Viewer shows it through, the MSI's event source, and the COM ports
# that status and install find in SERIALCOMM.
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
cli_exe='C:\Setup\PortSetupCli.exe'
SERIALCOMM='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
SOURCE='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\PortSetup'
logfile='C:\ProgramData\PortSetup\Logs\PortSetupCli.log'

# Runs PortSetupCli with the event channels on; EVENTS holds its events.
cli_events() { run_events "$cli_exe" "$@"; }

# 1. The ports: SERIALCOMM as the test sets it (Wine's own values go first).
wine_run reg delete "$SERIALCOMM" /va /f >/dev/null 2>&1 || true
wine_run reg add "$SERIALCOMM" /v '\Device\Serial3' /d COM4 /f >/dev/null 2>&1
wine_run reg add "$SERIALCOMM" /v '\Device\Serial0' /d COM1 /f >/dev/null 2>&1
wine_run reg add "$SERIALCOMM" /v '\Device\VirtualCable' /d CNCA0 /f >/dev/null 2>&1
reset_state
run_console "$cli_exe" status --json
expect_eq "presentComPorts" "['COM1', 'COM4']" \
  "$(printf '%s' "$RUN_OUT" | python3 -c 'import json, sys; print(json.load(sys.stdin)["presentComPorts"])')"
run_console "$cli_exe" status
printf '%s\n' "$RUN_OUT" | grep -qx 'COM ports on this machine: COM1, COM4' || fail "status text: $RUN_OUT"
printf '%s\n' "$RUN_OUT" | grep -q '^  COM3: .*(the port is not present on this machine)$' || fail "status text: $RUN_OUT"

# 2. An install on COM3, which is not there: a warning everywhere, and done.
warning='COM3 is not present on this machine; present: COM1, COM4'
cli_events install --port COM3
expect_code "install on an absent port" 0
printf '%s\n' "$RUN_OUT" | grep -qxF "warning: $warning" || fail "no warning in the output: $RUN_OUT"
grep -qF "warning: $warning" "$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log" \
  || fail "no warning in the log"
# The test package's catalog is no signed file: a warning too (Wine cuts
# the event's text after some 300 characters).
unsigned='the signature of C:\Setup\prt3q42wd32.cat cannot be verified: it is not a signed catalog file'
printf '%s\n' "$RUN_OUT" | grep -qF "warning: $unsigned; use the driver package as the vendor signed it" \
  || fail "no signature warning in the output: $RUN_OUT"
expect_event "install event" \
  "1000 information Verdict: done\\r\\nExit code: 0\\r\\nWarning: $warning\\r\\nWarning: ${unsigned//\\/\\\\}"

# 3. An install that fails: its reason, as an error.
cli_events install --port COM1 --package 'C:\nowhere'
expect_code "install without a package" 1620
expect_event "failed install event" \
  "1001 error Verdict: failed\\r\\nExit code: 1620\\r\\nReason: the INF file C:\\\\nowhere\\\\PRT3Q42WD32.inf cannot be read"

# 4. A removal (Wine's print system warns that it cannot purge the stand-in's
#    printer: the warning is in the event too).
cli_events remove
expect_code "remove" 0
expect_event "remove event" "1010 information Verdict: done\\r\\nExit code: 0\\r\\n"
case "$EVENTS" in *'\r\nLog: C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log\r\nCommand: PortSetupCli remove') ;; *) fail "remove event names no log: $EVENTS" ;; esac
# The event names the account it ran as (ReportEventW's fifth argument).
sid=$(printf '%s\n' "$RUN_ERR" | grep 'fixme:advapi:ReportEventW (' | cut -d, -f5)
case "$sid" in ""|"(nil)"|*[!0]*) ;; *) sid="" ;; esac
case "$sid" in ""|"(nil)") fail "the event has no user SID: $RUN_ERR" ;; esac

# 5. A hidden DEL: the window's event, with no window and no file log.
install_driver
del_err="$WINEPREFIX/drive_c/del-stderr.txt"
WINEDEBUG=$EVENT_CHANNELS drive start hidden "$(winpath "$PORTSETUP_BUILD/PortSetup.exe")" DEL wait-exit 20000 0 \
  expect-no-window 2> "$del_err"
EVENTS=$(tr -d '\r' < "$del_err" | events_of)
expect_event "DEL event" "1030 information Verdict: done\\r\\nExit code: 0\\r\\nCommand: PortSetup.exe DEL"
case "$EVENTS" in *Log:*) fail "DEL names a log it does not have: $EVENTS" ;; esac
status_of_del=$(printf '%s\n' "$EVENTS" | wc -l)
expect_eq "DEL events" 1 "$status_of_del"

# 6. The message tables: every ID in both programs, with the text inserted.
expected=$(printf '%s\n' \
  '1000: PortSetupCli install succeeded.\r\n<text>' \
  '1001: PortSetupCli install failed.\r\n<text>' \
  '1010: PortSetupCli remove succeeded.\r\n<text>' \
  '1011: PortSetupCli remove failed.\r\n<text>' \
  '1020: PortSetupCli set-default succeeded.\r\n<text>' \
  '1021: PortSetupCli set-default failed.\r\n<text>' \
  '1030: PortSetup.exe DEL removed the printers and the driver.\r\n<text>' \
  '1031: PortSetup.exe DEL failed.\r\n<text>' \
  '1050: PortSetupCli repair succeeded.\r\n<text>' \
  '1051: PortSetupCli repair failed.\r\n<text>')
for exe in PortSetup.exe PortSetupCli.exe; do
  seen=$(wine_run "$(winpath "$PORTSETUP_BUILD/message_check.exe")" "$(winpath "$PORTSETUP_BUILD/$exe")" \
    1000 1001 1010 1011 1020 1021 1030 1031 1050 1051 2>/dev/null | tr -d '\r')
  expect_eq "$exe's messages" "$expected" "$seen"
done

# 7. The MSI registers the event source and takes it away again.
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi="$root/build/dist/PortSetup-$version-x64.msi"
[ -f "$msi" ] || fail "no $msi: scripts/test builds it with tests/packaging/package_test.sh first"
reset_state
run_console 'C:\windows\system32\msiexec.exe' /i "$(winpath "$msi")" PORT=COM4 /qn
expect_code "MSI install" 0
expect_eq "EventMessageFile" 'REG_EXPAND_SZ C:\Program Files\PortSetup\PortSetupCli.exe' \
  "$(reg_type "$SOURCE" EventMessageFile) $(reg_value "$SOURCE" EventMessageFile)"
expect_eq "TypesSupported" "REG_DWORD 0x7" "$(reg_type "$SOURCE" TypesSupported) $(reg_value "$SOURCE" TypesSupported)"
run_console 'C:\windows\system32\msiexec.exe' /x "$(winpath "$msi")" /qn
expect_code "MSI uninstall" 0
reg_query "$SOURCE" > /dev/null && fail "the event source is left after uninstall"

wine_run reg delete "$SERIALCOMM" /va /f >/dev/null 2>&1 || true
echo "event log: ok"
