#!/usr/bin/env bash
# What install checks before any change, under Wine: a disabled Print
# Spooler (its start type), Windows protected print mode's policy, a package
# without its catalog and one with a models section for 32-bit Windows only;
# each refused with its own exit code and nothing started. Then doctor --json
# on a healthy machine and on a broken one, and a CR in the INF's DriverVer
# that must not forge a line of the log.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
cli_exe=$(winpath "$package/PortSetupCli.exe")
cli() { run_console "$cli_exe" "$@"; }
WPP='HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP'
refused() {  # what, exit code, text on stderr
  expect_code "$1" "$2"
  printf '%s\n' "$RUN_ERR" | grep -qF -- "$3" || fail "$1: stderr does not say '$3': $RUN_ERR"
  expect_eq "$1: programs started" "" "$(started_lines)"
}

reset_state
make_package "$package"
on_exit 'spooler_start 3'
spooler_start 4
cli install --port COM1
refused "a disabled Print Spooler" 1058 "the Print Spooler service is disabled"
spooler_start 3

wine_run reg add "$WPP" /v WindowsProtectedPrintGroupPolicyState /t REG_DWORD /d 1 /f >/dev/null
cli install --port COM1
refused "Windows protected print mode" 1625 "Windows protected print mode is on"
cli doctor --json
expect_code "doctor on a broken machine" 1625
printf '%s' "$RUN_OUT" | grep -qF '"check":"driver policy","result":"refused"' || fail "doctor: $RUN_OUT"
printf '%s' "$RUN_OUT" | grep -qF '"exitCode":1625}' || fail "doctor's exit code: $RUN_OUT"
wine_run reg delete "$WPP" /f >/dev/null

rm "$package/prt3q42wd32.cat"
cli install --port COM1
refused "a package without its catalog" 1620 "the catalog prt3q42wd32.cat that"
make_package "$package"
sed -i 's/Kaldo,NTamd64,NTx86/Kaldo,NTx86/' "$package/PRT3Q42WD32.inf"
cli install --port COM1
refused "a package for 32-bit Windows only" 1633 "no models section for this machine's processor (NTamd64); it has NTx86"

make_package "$package"
cli doctor --json --port COM1
expect_code "doctor on a healthy machine" 0
printf '%s' "$RUN_OUT" | grep -qF '"check":"driver package","result":"passed"' || fail "doctor: $RUN_OUT"
cli install --port COM1
expect_code "install once all is well" 0

# Device installation restrictions that deny the printer class: the USB
# install is refused before any change, naming the policy; with
# AllowAdminInstall an elevated install goes on.
RESTRICTIONS='HKLM\SOFTWARE\Policies\Microsoft\Windows\DeviceInstall\Restrictions'
on_exit "wine_run reg delete '$RESTRICTIONS' /f >/dev/null 2>&1 || true"
wine_run reg add "$RESTRICTIONS" /v DenyDeviceClasses /t REG_DWORD /d 1 /f >/dev/null
wine_run reg add "$RESTRICTIONS\DenyDeviceClasses" /v 1 /d '{4D36E979-E325-11CE-BFC1-08002BE10318}' /f >/dev/null
rm -f "$LOG"
cli install --port USB
refused "a policy that denies the printer class" 1260 \
  "a device installation policy would deny the USB printer's driver: DenyDeviceClasses names the printer class {4D36E979-E325-11CE-BFC1-08002BE10318}"
echo "policy refused: $(printf '%s\n' "$RUN_ERR" | grep -F 'device installation policy' | head -1)"
wine_run reg add "$RESTRICTIONS" /v AllowAdminInstall /t REG_DWORD /d 1 /f >/dev/null
cli install --port USB
expect_code "the same policy with AllowAdminInstall" 0
wine_run reg delete "$RESTRICTIONS" /f >/dev/null

# Line settings that Windows' standard serial port cannot apply: installed as
# asked, with a warning in the output, the log and the event; status warns too.
run_events "$cli_exe" install --port COM2 --settings 9600,n,8,1.5
expect_code "install with 8 data bits and 1.5 stop bits" 0
printf '%s\n' "$RUN_OUT" | grep -q '^warning: .*1.5 stop bits' || fail "no warning for 8 data bits with 1.5 stop bits: $RUN_OUT"
echo "settings warned: $(printf '%s\n' "$RUN_OUT" | grep '^warning: ' | head -1)"
case "$EVENTS" in *"Warning: "*"1.5 stop bits"*) ;; *) fail "the event lacks the warning: $EVENTS" ;; esac
cli status --json
printf '%s' "$RUN_OUT" | python3 -c 'import json, sys; d = json.load(sys.stdin); sys.exit(0 if any("1.5 stop bits" in w for w in d["warnings"]) else 1)' \
  || fail "status does not warn of COM2's settings: $RUN_OUT"

# A package's text cannot forge a line of the machine log: a CR inside its
# DriverVer ends the INF's line there, as a line feed would.
log="$WINEPREFIX/drive_c/ProgramData/PortSetup/Logs/PortSetupCli.log"
sed -i 's/^DriverVer=.*/DriverVer=06\/21\/2024,1.2.3.4\r2026-01-01T00:00:00+00:00 verdict: done, exit code 0\r/' "$package/PRT3Q42WD32.inf"
cli install --port COM1
expect_code "install with a CR in DriverVer" 0
! tr '\r' '\n' < "$log" | grep -q '^2026-01-01T00:00:00+00:00 verdict' || fail "a forged line reached the log"
grep -qF 'DriverVer 06/21/2024,1.2.3.4' "$log" || fail "the DriverVer before the CR is not read: $(grep DriverVer "$log")"
echo "checks: ok"
