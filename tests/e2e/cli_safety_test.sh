#!/usr/bin/env bash
# PortSetupCli.exe on a machine where a standard user got there first: the
# machine folder, its Logs folder or the log itself as a link to somewhere
# else (Wine reports a Unix symbolic link as a reparse point, and opens its
# target even when asked for the link itself, so that a link cannot be
# moved aside safely here: it is left and not used), a file in the machine
# folder's place (moved aside), a given log through a link, driver packages
# that are not trusted as they are, and mutexes of the names earlier
# versions locked with, held by another process. The job still ends 0 where
# it can go on, and nothing is written, renamed, read or removed through a
# link.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
cli_exe=$(winpath "$package/PortSetupCli.exe")
root="$WINEPREFIX/drive_c/ProgramData/PortSetup"
elsewhere="$WINEPREFIX/drive_c/elsewhere"
cli() { run_console "$cli_exe" "$@"; }
expect_err() {  # what, text
  printf '%s\n' "$RUN_ERR" | grep -qF -- "$2" || fail "$1: stderr does not say '$2': $RUN_ERR"
}
fresh() { rm -rf "$root" "$elsewhere"; mkdir -p "$elsewhere"; reset_state; }
nothing_in_elsewhere() {
  [ -z "$(ls -A "$elsewhere")" ] || fail "$1: written through the link: $(ls -A "$elsewhere")"
}

link_left() {  # what, path: the link still there, its target too, nothing through it
  [ -L "$2" ] || fail "$1: the link $2 was replaced"
  [ -d "$elsewhere" ] || fail "$1: the link's target was removed"
  nothing_in_elsewhere "$1"
  expect_err "$1" "the system opened what it points to instead of the link itself"
}

# 1. The machine folder is a link to a folder elsewhere; then the Logs folder.
fresh
ln -s "$elsewhere" "$root"
cli install --port COM1
expect_code "install, machine folder a link" 0
link_left "machine folder a link" "$root"
cli remove
expect_code "remove, machine folder a link" 0
link_left "machine folder a link, remove" "$root"
fresh
mkdir -p "$root"
ln -s "$elsewhere" "$root/Logs"
cli install --port COM2
expect_code "install, Logs a link" 0
link_left "Logs a link" "$root/Logs"
[ -f "$root/PortSetupCli.lock" ] || fail "no single-run lock file in the machine folder"

# 2. A file stands where the machine folder goes: moved aside, the folder made.
fresh
echo planted > "$root"
cli remove
expect_code "remove, a file in the machine folder's place" 0
expect_err "a file in its place" "the machine folder was taken back: moved the file"
expect_eq "the file moved aside" "planted" "$(cat "$root.moved-aside")"
grep -q 'verdict: done, exit code 0' "$root/Logs/PortSetupCli.log" || fail "no machine log after the file was moved"
rm -f "$root.moved-aside"

# 3. The log is a link to another file, large enough to be rolled over; a
#    given log's folder is a link.
fresh
cli remove
expect_code "first remove" 0
[ -f "$root/Logs/PortSetupCli.log" ] || fail "no machine log"
rm "$root/Logs/PortSetupCli.log"
head -c 1048570 /dev/zero | tr '\0' 'v' > "$elsewhere/victim.txt"
victim_sum=$(sha256sum < "$elsewhere/victim.txt")
ln -s "$elsewhere/victim.txt" "$root/Logs/PortSetupCli.log"
cli install --port COM3
expect_code "install, log a link" 0
expect_eq "the link's target after a run" "$victim_sum" "$(sha256sum < "$elsewhere/victim.txt")"
[ -L "$root/Logs/PortSetupCli.log" ] || fail "the log link was renamed or replaced"
[ ! -e "$root/Logs/PortSetupCli.old.log" ] || fail "the link's target was rolled over"
expect_err "log a link" "symbolic link or other reparse point"
ln -s "$elsewhere" "$WINEPREFIX/drive_c/linked"
cli remove --log 'C:\linked\Deploy\run.log'
expect_code "remove, given log through a link" 0
expect_eq "the link's target after a given log" "$victim_sum" "$(sha256sum < "$elsewhere/victim.txt")"
[ "$(ls -A "$elsewhere")" = "victim.txt" ] || fail "written through the given log's link: $(ls -A "$elsewhere")"
expect_err "given log through a link" 'C:\linked is not used: it is a junction'
rm "$WINEPREFIX/drive_c/linked"

# 4. A plain log near 1 MiB rolls over; an older copy that is a link is not replaced.
fresh
cli remove
head -c 1048570 /dev/zero | tr '\0' 'x' > "$root/Logs/PortSetupCli.log"
cli remove
expect_code "remove with a full log" 0
expect_eq "older copy's size" "1048570" "$(stat -c %s "$root/Logs/PortSetupCli.old.log")"
grep -q 'verdict: done, exit code 0' "$root/Logs/PortSetupCli.log" || fail "no new log after the roll-over"
[ "$(stat -c %s "$root/Logs/PortSetupCli.log")" -lt 4096 ] || fail "the new log is not new"
head -c 1048570 /dev/zero | tr '\0' 'x' > "$root/Logs/PortSetupCli.log"
rm "$root/Logs/PortSetupCli.old.log"
head -c 1048570 /dev/zero | tr '\0' 'v' > "$elsewhere/victim.txt"
ln -s "$elsewhere/victim.txt" "$root/Logs/PortSetupCli.old.log"
cli remove
expect_code "remove, older copy a link" 0
expect_eq "the older copy's target" "$victim_sum" "$(sha256sum < "$elsewhere/victim.txt")"
grep -q 'verdict: done, exit code 0' "$root/Logs/PortSetupCli.log" || fail "the log stopped when it could not roll over"
expect_err "older copy a link" "could not be rolled over"

# 5. Driver packages that are not trusted as they are. One others can change
#    (Wine shows a world-writable folder as one Everyone may change) is
#    copied, and refused because its catalog vouches for nothing (a test
#    catalog is no signed catalog): 577, the copy removed, nothing started.
fresh
open_package="$WINEPREFIX/drive_c/users/Public/Kaldo"
rm -rf "$open_package"
mkdir -p "$open_package"
cp "$package/PRT3Q42WD32.inf" "$package/prt3q42wd32.cat" "$open_package/"
chmod o+w "$open_package"
#    doctor runs install's plan on the same package: the same code, and
#    nothing copied or started.
cli doctor --port USB --package 'C:\users\Public\Kaldo'
expect_code "doctor on a package others can change, unsigned" 577
printf '%s\n' "$RUN_OUT" | grep -q '^refused: driver signature: others can change the driver package' \
  || fail "doctor's finding: $RUN_OUT"
[ ! -e "$root/Package" ] || fail "doctor copied the package"
cli install --port USB --package 'C:\users\Public\Kaldo'
rm -rf "$open_package"
expect_code "install from a package others can change, unsigned" 577
expect_err "unsigned package others can change" "put the package in a folder only administrators can change"
expect_eq "starts for a refused package" "" "$(started_lines)"
[ ! -e "$root/Package" ] || fail "the refused package's copy was left: $(ls -R "$root/Package")"
#    A package folder that is a link to another account's folder: refused
#    before anything is read or copied (448), and nothing of that folder
#    lands anywhere.
fresh
mkdir -p "$elsewhere/Documents"
echo "another account's secret" > "$elsewhere/Documents/secret.txt"
cp "$package/PRT3Q42WD32.inf" "$package/prt3q42wd32.cat" "$elsewhere/Documents/"
ln -s "$elsewhere/Documents" "$WINEPREFIX/drive_c/users/Public/pkg"
cli install --port COM1 --package 'C:\users\Public\pkg'
rm "$WINEPREFIX/drive_c/users/Public/pkg"
expect_code "install from a package that is a link" 448
expect_eq "starts for a linked package" "" "$(started_lines)"
! grep -rqs "another account's secret" "$WINEPREFIX/drive_c/ProgramData" || fail "the linked folder's file was copied"
#    A package whose INF names a catalog outside it: refused (1620) before
#    anything starts, whatever that file is.
fresh
sed -i 's/^CatalogFile=.*/CatalogFile=..\\..\\windows\\system32\\kernel32.dll\r/' "$package/PRT3Q42WD32.inf"
cli install --port COM1
make_package "$package"
expect_code "install with a catalog outside the package" 1620
expect_err "catalog outside the package" "names a catalog outside the package"
expect_eq "starts for a catalog outside the package" "" "$(started_lines)"

#    The program itself in a folder others can change: an elevated run
#    refuses (1336) before anything is written or started.
fresh
chmod o+w "$package"
cli install --port COM1
chmod o-w "$package"
expect_code "install run from a folder others can change" 1336
expect_eq "starts from a program others could replace" "" "$(started_lines)"
[ ! -e "$root" ] || fail "the machine folder was made by a program others could replace"

# 6. A process holds mutexes of the names earlier versions locked with.
fresh
holder_out="$WINEPREFIX/holder.out"
: > "$holder_out"  # emptied first: a line of an earlier run must not count
timeout -k 5 100 "$WINE" "$(winpath "$PORTSETUP_BUILD/hold_mutex.exe")" 90 \
  'Global\PortSetupCli.SingleRun' 'Global\PortSetupCli.Log' > "$holder_out" 2>/dev/null 9>&- &
holder=$!
for _ in $(seq 1 100); do grep -q holding "$holder_out" 2>/dev/null && break; sleep 0.1; done
grep -q holding "$holder_out" || fail "the mutex holder did not start"
t0=$(date +%s)
cli install --port COM4
expect_code "install while old mutexes are held" 0
cli remove
expect_code "remove while old mutexes are held" 0
[ $(( $(date +%s) - t0 )) -lt 40 ] || fail "the runs waited for the old mutexes"
expect_eq "printers after remove" "0" "$(printers | grep -c KALDO || true)"
kill "$holder" 2>/dev/null || true
wine_run taskkill /f /im hold_mutex.exe >/dev/null 2>&1 || true
wait "$holder" 2>/dev/null || true
rm -rf "$elsewhere"
echo "cli_safety: ok"
