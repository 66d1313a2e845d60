#!/usr/bin/env bash
# The scenarios' library counts only positive evidence and reports every end:
# a registry read whose Wine command ends 0 with nothing said, and a UI driver
# run without its last line, each fail the scenario at once (also from a
# subshell); a scenario killed by SIGTERM names the signal and its line, and
# still runs its clean-up. Needs no Wine: its commands are replaced.
set -uo pipefail
lib=$(cd "$(dirname "$0")" && pwd)/lib.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() {  # what, expected status, seen status, stderr, expected text
  if [ "$2" != "$3" ] || ! grep -qF -- "$5" <<<"$4" || grep -q '^after' <<<"$4"; then
    printf 'FAIL: %s: status %s (expected %s), stderr:\n%s\n' "$1" "$3" "$2" "$4"; failed=1
  fi
}
scenario() {  # name, body; runs it as a scenario script, with stdout folded into stderr
  printf '. "%s"\n%s\n' "$lib" "$2" > "$work/$1.sh"
  WINEPREFIX=$work PORTSETUP_BUILD=$work exec bash "$work/$1.sh" 2>&1
}

out=$(scenario silent_reg 'wine_run() { return 0; }
x=$(reg_value "HKLM\SOFTWARE\PortSetup" Port)
echo "after: $x"'); check "a silent registry read" 1 $? "$out" "gave no answer"

out=$(scenario silent_driver 'wine_run() { echo "started: PortSetup.exe"; }
drive start normal PortSetup.exe
echo after'); check "a driver without its last line" 1 $? "$out" "without its last line"

(scenario killed 'on_exit "echo cleaned up"
echo ready

sleep 3
echo after') > "$work/killed.out" &
for _ in $(seq 1 50); do grep -q ready "$work/killed.out" 2>/dev/null && break; sleep 0.1; done
kill -TERM $! && wait $!
status=$?
out=$(cat "$work/killed.out")
check "a scenario killed by SIGTERM" 143 $status "$out" "killed by SIGTERM at line 5: sleep 3"
check "clean-up after SIGTERM" 143 $status "$out" "cleaned up"
[ $failed = 0 ] && echo "harness: ok"
exit $failed
