# Shared by the end-to-end scenarios: run Windows programs in the test run's
# Wine prefix, drive the window, and read the registry back.
set -euo pipefail
: "${WINEPREFIX:?run the end-to-end tests through scripts/test}"
: "${PORTSETUP_BUILD:?the Windows build folder}"
WINE=/usr/lib/wine/wine64
ARTIFACTS=${PORTSETUP_ARTIFACTS:-$PORTSETUP_BUILD/artifacts}
mkdir -p "$ARTIFACTS"

# Z:\... for a path of this machine.
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

wine_run() { timeout -k 5 120 "$WINE" "$@"; }

# The UI driver with its steps; fails the scenario when the driver does.
drive() {
  local out status=0
  out=$(wine_run "$(winpath "$PORTSETUP_BUILD/ui_driver.exe")" "$@" 2>&1) || status=$?
  printf '%s\n' "$out" | grep -v -e '^X connection' -e 'XIO:' -e 'after [0-9]* requests' >&2 || true
  return $status
}

# A value's data from the registry ("" when missing).
reg_value() {
  wine_run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print }'
}
reg_type() {
  wine_run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { print $2 }'
}

PORTS='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports'
PRINTERS='HKLM\SYSTEM\CurrentControlSet\Control\Print\Printers'

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() {  # what expected seen
  [ "$2" = "$3" ] || fail "$1: expected '$2', saw '$3'"
}
