#!/usr/bin/env bash
# The driver package in Windows' driver store, with the driver store tool's
# stand-in publishing and deleting through Wine's own SetupAPI: a USB install
# publishes it, status names it, remove takes it out (another vendor's stays)
# and says so in its output, log, CMTrace copy and event; a device that keeps it ends the
# removal 2404, named with the fix, and the next remove finishes the job.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
cli_exe=$(winpath "$package/PortSetupCli.exe")
logfile="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
store="$WINEPREFIX/drive_c/windows/inf"
cli() { run_console "$cli_exe" "$@"; }
published() { (cd "$store" && ls oem*.inf 2>/dev/null) || true; }

# Another vendor's printer package, published before ours.
other="$WINEPREFIX/drive_c/Other"
mkdir -p "$other"
printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\nCatalogFile=other.cat\r\n\r\n[Manufacturer]\r\nOther=Other,NTamd64,NTx86\r\n\r\n[Other.NTamd64]\r\n"Other Receipt"=OTHER,OTHER_RECEIPT\r\n\r\n[Other.NTx86]\r\n"Other Receipt"=OTHER,OTHER_RECEIPT\r\n' >"$other/other.inf"
printf catalog >"$other/other.cat"
reset_state
wine_run 'C:\windows\system32\pnputil.exe' /add-driver 'C:\Other\other.inf' /install >/dev/null 2>&1 || true

theirs=$(published)
[ "$(printf '%s\n' "$theirs" | grep -c .)" = 1 ] || fail "the other vendor's package was not published: '$theirs'"

# 1. The USB install publishes our package; status names it.
cli install --port USB
expect_code "install for USB" 0
ours=$(published | grep -vx "$theirs" || true)
[ "$(printf '%s\n' "$ours" | grep -c .)" = 1 ] || fail "not one package of ours published: '$ours' (all: $(published))"
cmp -s "$store/$ours" "$package/PRT3Q42WD32.inf" || fail "$ours is not our INF"
cli status --json
expect_eq "status names the published package" "['$ours']" "$(json 'd["driverPackages"]')"
cli status
printf '%s\n' "$RUN_OUT" | grep -qx "Driver package in the driver store: yes, as $ours" || fail "plain status: $RUN_OUT"

# 2. remove: the printers, the driver, then our package; theirs stays. A
#    copy of the log in CMTrace's format says the same, a step a line.
rm -f "$LOG" "$logfile" "$WINEPREFIX/drive_c/remove-cmtrace.log"
run_events "$cli_exe" remove --log 'C:\remove-cmtrace.log' --log-format cmtrace
expect_code "remove" 0
printf 'remove: %s\n' "$(printf '%s\n' "$RUN_OUT" | grep -e driver -e 'found:' -e '^done')"
cmtrace=$(tr -d '\r' < "$WINEPREFIX/drive_c/remove-cmtrace.log")
printf '%s\n' "$cmtrace" | grep -q '^<!\[LOG\[removed: the driver package "PRT3Q42WD32.inf" from the driver store ('"$ours"')\]LOG\]!><time="[0-9:.+-]*" date="[0-9-]*" component="PortSetupCli" context="" type="1" thread="[0-9]*" file="">$' \
  || fail "the CMTrace copy lacks the package's removal: $cmtrace"
printf 'cmtrace: %s\n' "$(printf '%s\n' "$cmtrace" | grep -e 'delete-driver' -e 'removed:' | head -3)"
expect_eq "the last command" "pnputil /delete-driver $ours /uninstall" "$(started_lines | tail -1)"
[ ! -e "$store/$ours" ] || fail "$ours is still in the driver store"
[ -e "$store/$theirs" ] || fail "the other vendor's $theirs was removed"
line="removed: the driver package \"PRT3Q42WD32.inf\" from the driver store ($ours)"
printf '%s\n' "$RUN_OUT" | grep -qxF "$line" || fail "output lacks '$line': $RUN_OUT"
grep -qF " $line" "$logfile" || fail "log lacks '$line': $(cat "$logfile")"
expect_event "remove's event" "1010 information Verdict: done"
case "$EVENTS" in *"Removed: the driver package "*"PRT3Q42WD32.inf"*" from the driver store ($ours)"*) ;;
  *) fail "the event does not say the package was removed: $EVENTS" ;; esac
cli status --json
expect_eq "status after remove" "[]" "$(json 'd["driverPackages"]')"

# 3. A device keeps the package: 2404, named with the fix; nothing else is
#    said to be removed. Unplugged, the next remove takes it out alone.
reset_state
cli install --port USB
expect_code "install for USB again" 0
ours=$(published)  # the driver store was emptied
[ "$(printf '%s\n' "$ours" | grep -c .)" = 1 ] || fail "not one package published again: '$ours'"
standin_delay held 1
run_events "$cli_exe" remove
expect_code "remove while a device keeps the package" 2404
[ -e "$store/$ours" ] || fail "$ours went though a device keeps it"
printf '%s\n' "$RUN_ERR" | grep -qF "stayed in the driver store as $ours (pnputil exit code 3758096957)" \
  || fail "stderr does not name the package kept: $RUN_ERR"
printf '%s\n' "$RUN_ERR" | grep -qF "pnputil /delete-driver $ours /uninstall /force" || fail "no fix in: $RUN_ERR"
expect_event "the kept package's event" "1011 error Verdict: failed\r\nExit code: 2404\r\nReason: The printers and the driver are removed, but the driver package"
standin_delay held 0
rm -f "$LOG"
cli remove
expect_code "remove once the device lets go" 0
expect_lines "the second remove's commands" "pnputil /delete-driver $ours /uninstall" "$(started_lines)"
[ ! -e "$store/$ours" ] || fail "$ours is still in the driver store after the second remove"
echo "driver_store: ok"
