# Shared by the end-to-end scenarios: run Windows programs in the test run's
# Wine prefix, drive the window, and read the registry back.
set -euo pipefail
# The scenario's own stderr, for failures found where stderr was redirected.
exec 9>&2
# A command that ends a scenario under set -e names itself, its line and its status.
set -o errtrace
trap 'status=$?; echo "FAIL: $(basename "${BASH_SOURCE[0]}") line $LINENO: \"$BASH_COMMAND\" exited with $status" >&9' ERR
# Every end says how it came: a status, a signal (with the scenario's line
# then), or a failure found in a subshell. Scenarios add their own clean-up
# with on_exit, never by replacing the EXIT trap.
EXIT_ACTIONS=()
on_exit() { EXIT_ACTIONS+=("$1"); }
run_exit_actions() {
  local status=$? action
  for action in "${EXIT_ACTIONS[@]}"; do eval "$action" || true; done
  [ "$status" = 0 ] || echo "$(basename "$0"): ended with status $status" >&9
  exit "$status"
}
trap run_exit_actions EXIT
# The last top-level line run, for a report of a signal; a signal trap itself
# runs as "line 1".
trap 'here=$LINENO; [ "$here" = 1 ] || scenario_at="line $here: $BASH_COMMAND"' DEBUG
on_signal() {  # name, number
  echo "$(basename "$0"): killed by SIG$1 at ${scenario_at:-its start}" >&9
  trap - ERR
  exit $((128 + $2))
}
for signal in HUP:1 INT:2 PIPE:13 TERM:15; do
  trap "on_signal ${signal%:*} ${signal#*:}" "${signal%:*}"
done
# fail in a subshell ($(...), a pipe) ends the scenario too, not only the subshell.
trap 'trap - ERR; exit 1' USR1
: "${WINEPREFIX:?run the end-to-end tests through scripts/test}"
: "${PORTSETUP_BUILD:?the Windows build folder}"
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-sandbox.sh"
ARTIFACTS=${PORTSETUP_ARTIFACTS:-$PORTSETUP_BUILD/artifacts}
mkdir -p "$ARTIFACTS"

# Z:\... for a path of this machine.
# The Windows path of a file: C:\... inside the prefix's drive C, as a
# program there sees it (through Z: the system reports it on C:, which reads
# as a link on the way), else Z:\...
winpath() {
  case "$1" in
    "$WINEPREFIX/drive_c/"*) printf 'C:\\%s' "$(printf '%s' "${1#"$WINEPREFIX/drive_c/"}" | tr / '\\')" ;;
    *) printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')" ;;
  esac
}

# A Wine command never reads the scenario's input, nor holds its stderr for
# failures (fd 9) open: a program it leaves running would keep ctest waiting.
wine_run() { timeout -k 5 120 "$WINE" "$@" </dev/null 9>&-; }

# The UI driver with its steps; fails the scenario when the driver does. A
# driver whose Wine server went away ends 0 and prints nothing: only its own
# last line says how it ended.
drive() {
  local out status=0 last
  out=$(wine_run "$(winpath "$PORTSETUP_BUILD/ui_driver.exe")" "$@" 2>&1) || status=$?
  out=$(printf '%s\n' "$out" | tr -d '\r' | grep -v -e '^X connection' -e 'XIO:' -e 'after [0-9]* requests' || true)
  printf '%s\n' "$out" >&2
  last=$(printf '%s\n' "$out" | grep '^driver: ' | tail -1 || true)
  case "$last" in
    "driver: ok") [ "$status" = 0 ] || fail "the UI driver said ok but ended with status $status" ;;
    "driver: FAILED") return 1 ;;
    *) fail "the UI driver ($*) ended with status $status without its last line" ;;
  esac
}

# `reg query` with its arguments. Its answer counts only when it holds the
# key's header line (or a subkey's); "not found" only when reg says so (on stdout, as Wine's
# reg does). Anything else, such as a Wine command that ended with nothing to
# say, fails the scenario.
reg_query() {
  local out err status=0 header
  err=$(mktemp)
  out=$(wine_run reg query "$@" 2>"$err") || status=$?
  # Wine's launcher can fail to start reg at all ("Application could not be
  # started"): the query never ran, so it is asked once more, and said.
  if [ "$status" != 0 ] && grep -q 'Application could not be started' "$err"; then
    echo "reg_query: Wine could not start reg ($(tr -d '\r' < "$err" | tail -1)); asking again" >&2
    status=0
    out=$(wine_run reg query "$@" 2>"$err") || status=$?
  fi
  out=$(printf '%s\n' "$out" | tr -d '\r')
  header=$(printf '%s' "$1" | sed -e 's/^HKLM\\/HKEY_LOCAL_MACHINE\\/I' -e 's/^HKCU\\/HKEY_CURRENT_USER\\/I')
  # The key's own line, or with /s that of a subkey (a key without values has none).
  if printf '%s\n' "$out" | KEY=$header awk 'BEGIN { key = tolower(ENVIRON["KEY"]) }
       tolower($0) == key || index(tolower($0), key "\\") == 1 { found = 1 } END { exit !found }'; then
    rm -f "$err"
    printf '%s\n' "$out"
    return 0
  fi
  out+=$(tr -d '\r' < "$err"); rm -f "$err"
  [ "$status" != 0 ] && printf '%s\n' "$out" | grep -qi '^reg: unable to find' && return 1
  fail "reg query $* gave no answer: status $status, no header line '$header'; it said '$out'"
}

# A value's data from the registry ("" when missing).
reg_value() {
  { reg_query "$1" /v "$2" || true; } | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print }'
}
reg_type() {
  { reg_query "$1" /v "$2" || true; } | awk -v name="$2" '$1 == name { print $2 }'
}

PORTS='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports'
PRINTERS='HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers'

fail() {
  echo "FAIL: $*" >&9
  # In a subshell: end the scenario itself too.
  [ "$BASHPID" = "$$" ] || kill -USR1 $$
  exit 1
}
expect_eq() {  # what expected seen
  [ "$2" = "$3" ] || fail "$1: expected '$2', saw '$3'"
}

# ---- The printer setup tool's stand-in and the state it leaves ----
SYSTEM32="$WINEPREFIX/drive_c/windows/system32"
LOG="$WINEPREFIX/drive_c/printui-log.txt"
export WINEDLLOVERRIDES="mscoree,mshtml=;rundll32.exe=n;pnputil.exe=n"

# Replaces the file, never rewrites it in place: Wine keeps images that are
# still mapped by running stand-ins, and a rewritten file could not start.
install_standin() {
  local program
  for program in rundll32.exe pnputil.exe; do
    cmp -s "$PORTSETUP_BUILD/printui_standin.exe" "$SYSTEM32/$program" && continue
    cp "$PORTSETUP_BUILD/printui_standin.exe" "$SYSTEM32/$program.new"
    mv -f "$SYSTEM32/$program.new" "$SYSTEM32/$program"
  done
}

if [ "${WINEARCH:-}" = win32 ]; then
  DRIVERS='HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\Windows NT x86\Drivers\Version-3'
else
  DRIVERS='HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\Windows x64\Drivers\Version-3'
fi
DELAYS='HKLM\Software\PortSetupTests\PrintUi'

# A fresh print system, fast, and an empty log before each scenario.
reset_state() {
  install_standin
  rm -f "$LOG"
  wine_run reg delete "$PRINTERS" /f >/dev/null 2>&1 || true
  # Setup, not a result: a key that a program of the previous scenario still
  # held can refuse its re-creation for a moment; tried again, and said.
  local err
  if ! err=$(wine_run reg add "$PRINTERS" /f 2>&1 >/dev/null); then
    echo "reset_state: reg add $PRINTERS failed ($(printf '%s' "$err" | tr -d '\r' | head -2)); trying again" >&9
    sleep 1
    wine_run reg add "$PRINTERS" /f >/dev/null
  fi
  wine_run reg delete "$DRIVERS\KALDO QTX_VELTRO" /f >/dev/null 2>&1 || true
  # The driver store: the packages the driver store tool's stand-in published.
  rm -f "$WINEPREFIX/drive_c/windows/inf/"oem*.inf "$WINEPREFIX/drive_c/windows/inf/"oem*.pnf
  wine_run reg delete "$DELAYS" /f >/dev/null 2>&1 || true
  wine_run reg delete 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /v Device /f >/dev/null 2>&1 || true
}

# Sets the Print Spooler's start type (3 demand, 4 disabled). Wine's sc has
# no "config": it goes to the registry, which Wine's service manager reads as
# it starts with the server.
spooler_start() {
  wine_run reg add 'HKLM\System\CurrentControlSet\Services\Spooler' /v Start /t REG_DWORD /d "$1" /f >/dev/null
  wine_server_persist
}

# Makes one printer setup operation (if, ia, y, dl, dd) take MS milliseconds.
standin_delay() { wine_run reg add "$DELAYS" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1; }

# The driver installed, as the printer setup tool leaves it.
install_driver() {
  wine_run reg add "$DRIVERS\KALDO QTX_VELTRO" /v Driver /d KALDOQTX.DLL /f >/dev/null 2>&1
}

# The driver models Wine's print system lists.
drivers() { drive list-drivers 2>&1 | sed -n 's/^printer driver: //p'; }

# A driver package folder: PortSetup.exe, PortSetupCli.exe and the INF file.
make_package() {
  mkdir -p "$1"
  local exe
  for exe in PortSetup.exe PortSetupCli.exe; do
    cp "$PORTSETUP_BUILD/$exe" "$1/$exe.new"
    mv -f "$1/$exe.new" "$1/$exe"
  done
  # As a vendor ships it: a catalog, a version, a models section per processor.
  printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\nCatalogFile=prt3q42wd32.cat\r\nDriverVer=06/21/2024,1.2.3.4\r\n; test package for PortSetup\r\n\r\n[Manufacturer]\r\n%%Kaldo%%=Kaldo,NTamd64,NTx86\r\n\r\n[Kaldo.NTamd64]\r\n"KALDO QTX_VELTRO"=KALDOQTX,KALDO_QTX_VELTRO\r\n\r\n[Kaldo.NTx86]\r\n"KALDO QTX_VELTRO"=KALDOQTX,KALDO_QTX_VELTRO\r\n\r\n[Strings]\r\nKaldo="KALDO"\r\n' > "$1/PRT3Q42WD32.inf"
  printf 'test catalog\r\n' > "$1/prt3q42wd32.cat"
}

# Runs a console program (Windows path) with arguments; sets RUN_OUT, RUN_ERR
# and RUN_CODE, the whole exit code.
run_console() {
  local out err
  out=$(mktemp) err=$(mktemp)
  timeout -k 5 120 "$WINE" "$(winpath "$PORTSETUP_BUILD/run_exit.exe")" "$@" </dev/null >"$out" 2>"$err" 9>&- || true
  RUN_OUT=$(tr -d '\r' < "$out")
  grep '^run_exit: Wine could not start' "$err" >&9 || true
  RUN_ERR=$(tr -d '\r' < "$err" | grep -v -e '^run_exit: exit code' -e '^run_exit: Wine could not start' -e '^X connection' -e 'XIO:' -e 'after [0-9]* requests' || true)
  RUN_CODE=$(tr -d '\r' < "$err" | sed -n 's/^run_exit: exit code //p')
  rm -f "$out" "$err"
}

# The events a run writes to the Application log. Wine prints each one on
# its debug channels: the text on eventlog (information and warnings on
# trace, errors on err), the type and ID on advapi. Every scenario that reads
# events goes through run_events, so none can listen on a channel that
# misses one kind.
EVENT_CHANNELS=-all,trace+eventlog,err+eventlog,fixme+advapi
# The events in a run's stderr, one line each: "ID TYPE TEXT", TYPE being
# error, warning or information, TEXT as Wine prints it (\r\n for line
# breaks, up to some 300 characters).
events_of() {
  local line type="" id="" text
  while IFS= read -r line; do
    case "$line" in
      *fixme:advapi:ReportEventW\ \(*)
        IFS=, read -r _ type _ id _ <<< "$line"
        case $((type)) in 1) type=error ;; 2) type=warning ;; 4) type=information ;; *) type="type-$type" ;; esac
        id=$((id)) ;;
      *:eventlog:ReportEventW\ L\"*)
        text=${line#*ReportEventW L\"}
        text=${text%\"}
        printf '%s %s %s\n' "$id" "$type" "${text%\"...}" ;;
    esac
  done
}
# A Python expression over the JSON object the last console run printed, as d.
json() {
  printf '%s' "$RUN_OUT" | python3 -c "import json, sys; d = json.load(sys.stdin); print($1)"
}
# Runs a console program as run_console does, with the event channels on;
# EVENTS holds its events.
run_events() {
  WINEDEBUG=$EVENT_CHANNELS run_console "$@"
  EVENTS=$(printf '%s\n' "$RUN_ERR" | events_of)
}
# Fails unless the run wrote exactly one event and it starts as expected
# ("ID TYPE TEXT"; a prefix of the text will do).
expect_event() {  # what, the one event expected
  [ "$(printf '%s\n' "$EVENTS" | grep -c .)" = 1 ] || fail "$1: not one event but: $EVENTS"
  case "$EVENTS" in "$2"*) ;; *) fail "$1: expected an event starting '$2', saw '$EVENTS'" ;; esac
}

# Fails the scenario, with the run's output, unless RUN_CODE is the one expected.
expect_code() {  # what, expected code
  [ "$RUN_CODE" = "$2" ] || { printf 'stdout:\n%s\nstderr:\n%s\n' "$RUN_OUT" "$RUN_ERR" >&2; fail "$1: exit code $RUN_CODE, expected $2"; }
}

# Adds printers in one registry import: lines of NAME<TAB>DRIVER[<TAB>expand]
# on stdin, in UTF-8; "expand" stores the driver as REG_EXPAND_SZ, which the
# print system reads too.
add_printers() {
  local file="$WINEPREFIX/drive_c/printers.reg"
  { printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    while IFS=$'\t' read -r name driver kind; do
      printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\%s]\r\n' "$name"
      printf '"Name"="%s"\r\n"Port"="LPT1:"\r\n' "$name"
      if [ "$kind" = expand ]; then
        printf '"Printer Driver"=hex(2):%s00,00\r\n\r\n' \
          "$(printf '%s' "$driver" | iconv -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//')"
      else
        printf '"Printer Driver"="%s"\r\n\r\n' "$driver"
      fi
    done; } | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } > "$file"
  # Wine's launcher can fail to start regedit at all: the import never ran,
  # so it is tried once more, and said.
  local said
  if ! said=$(wine_run regedit /S 'C:\printers.reg' 2>&1 >/dev/null); then
    echo "add_printers: regedit ended non-zero ($(printf '%s' "$said" | tr -d '\r' | tail -1)); importing again" >&2
    wine_run regedit /S 'C:\printers.reg' >/dev/null 2>&1
  fi
}

# The start of every command but the last, and the end of each, in 100 ns:
# "last started at S, the others ended by E".
last_start_after_others() {
  sort -n -k1,1 "$LOG" | awk -F'\t' '{ s[NR] = $1; e[NR] = $5 } END {
    m = 0; for (i = 1; i < NR; i++) if (e[i] > m) m = e[i]
    print (s[NR] >= m ? "yes" : "no: the last started " (m - s[NR]) / 10000 " ms before the others ended") }'
}

# Waits until the stand-in has recorded N starts (they run detached).
wait_log() {
  local n=$1 i
  for i in $(seq 1 200); do
    [ -f "$LOG" ] && [ "$(wc -l < "$LOG")" -ge "$n" ] && { sleep 0.3; return 0; }
    sleep 0.1
  done
  fail "expected $n printer setup starts, saw $( [ -f "$LOG" ] && wc -l < "$LOG" || echo 0)"
}

# Recorded command lines in the order they were started.
started_lines() { [ -f "$LOG" ] && sort -n -k1,1 "$LOG" | cut -f3 || true; }
started_programs() { [ -f "$LOG" ] && cut -f2 "$LOG" | sort -u || true; }
outcomes() { [ -f "$LOG" ] && sort -n -k1,1 "$LOG" | cut -f4 || true; }

# The printers Wine's print system lists, in its order.
printers() { drive list-printers 2>&1 | sed -n 's/^printer: //p'; }

expect_lines() {  # what, then expected lines as one string, then seen
  if [ "$2" != "$3" ]; then
    printf 'FAIL: %s\n--- expected\n%s\n--- seen\n%s\n' "$1" "$2" "$3" >&2
    exit 1
  fi
}

PRINTUI='rundll32 printui.dll,PrintUIEntry'
