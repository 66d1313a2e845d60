#!/usr/bin/env bash
# PortSetupCli.exe run again and again, as deployment systems do: a port
# move keeps the printer, the same install twice changes nothing the second
# time, a printer of our name with another driver is left alone, and a run
# killed halfway is finished by the next one. The stand-in keeps the print
# system's rule that a printer name cannot be added twice.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
cli_exe=$(winpath "$package/PortSetupCli.exe")
cli() { run_console "$cli_exe" "$@"; }
# Printers as NAME<TAB>PORT<TAB>DRIVER lines, sorted.
printer_state() { drive state 2>&1 | sed -n 's/^printer: //p' | sort; }
default_printer() { drive state 2>&1 | sed -n 's/^default: //p'; }
PRINTER="KALDO Veltro MiniPrinter"
TAB=$'\t'

# 1. COM1, then COM3: the printer is moved, and kept.
reset_state
cli install --port COM1
expect_code "install on COM1" 0
rm -f "$LOG"
cli install --port COM3 --settings 57600,e,7,1,x
expect_code "install on COM3 after COM1" 0
expect_eq "printers after the move" "$PRINTER${TAB}COM3:${TAB}KALDO QTX_VELTRO" "$(printer_state)"
expect_eq "COM3: settings" "57600,e,7,1,x" "$(reg_value "$PORTS" "COM3:")"
printf '%s\n' "$RUN_OUT" | grep -q 'moved from COM1: to COM3:' || fail "the move is not said: $RUN_OUT"
expect_lines "commands of the move" \
"$PRINTUI /q /if /b \"$PRINTER\" /f \"$(winpath "$package" | tr / '\\')\\PRT3Q42WD32.inf\" /r \"COM3:\" /m \"KALDO QTX_VELTRO\"
$PRINTUI /q /Xs /n \"$PRINTER\" PortName \"COM3:\"" "$(started_lines)"
expect_eq "outcomes of the move" "failed: printer exists (0x0000070a)
done: port set" "$(outcomes)"
cli status --port COM3 --settings 57600,e,7,1,x
expect_code "status after the move" 0

# 2. The same install twice: the second run starts no printer change.
rm -f "$LOG"
cli install --port COM3 --settings 57600,e,7,1,x
expect_code "the same install again" 0
expect_eq "commands of the second run" "1" "$(started_lines | wc -l)"
started_lines | grep -q '/if /b' || fail "the second run did not install the driver again"
printf '%s\n' "$RUN_OUT" | grep -q '^already installed as asked$' || fail "not said: $RUN_OUT"
expect_eq "printers after the second run" "$PRINTER${TAB}COM3:${TAB}KALDO QTX_VELTRO" "$(printer_state)"

# 3. A printer of our name with another driver is not ours: left as it is.
reset_state
printf '%s\t%s\n' "$PRINTER" "Generic / Text Only" | add_printers
before=$(printer_state)
cli install --port COM2
expect_code "install over another driver's printer" 1603
printf '%s\n' "$RUN_ERR" | grep -q 'uses the driver "Generic / Text Only"' || fail "the driver is not named: $RUN_ERR"
expect_eq "that printer" "$before" "$(printer_state)"
started_lines | grep -qv '/if /b' && fail "more than the driver install was started: $(started_lines)"

# 4. An install killed during a slow printer install, then run again.
reset_state
standin_delay if 4000
( cli install --port COM4 --settings 4800,o,6,2 ) &
runner=$!
sleep 2
wine_run taskkill /f /im PortSetupCli.exe >/dev/null 2>&1 || true
wait "$runner" || true
cli status --port COM4 --settings 4800,o,6,2
expect_code "status of the killed install" 1605
cli install --port COM4 --settings 4800,o,6,2
expect_code "the killed install run again" 0
expect_eq "printers after the rerun" "$PRINTER${TAB}COM4:${TAB}KALDO QTX_VELTRO" "$(printer_state)"
expect_eq "default after the rerun" "$PRINTER" "$(default_printer)"
expect_eq "COM4: after the rerun" "4800,o,6,2" "$(reg_value "$PORTS" "COM4:")"
cli status --port COM4 --settings 4800,o,6,2
expect_code "status after the rerun" 0

# 5. A removal killed after its first printer delete, then run again.
reset_state
install_driver
printf '%s\n' "POS A	KALDO QTX_VELTRO" "POS B	KALDO QTX_VELTRO" "POS C	KALDO QTX_VELTRO" \
  "Office	Generic / Text Only" | add_printers
standin_delay dl 1500
( cli remove ) &
runner=$!
for _ in $(seq 1 150); do grep -q 'done: printer deleted' "$LOG" 2>/dev/null && break; sleep 0.1; done
wine_run taskkill /f /im PortSetupCli.exe >/dev/null 2>&1 || true
wait "$runner" || true
expect_eq "printers deleted before the kill" "1" "$(grep -c 'done: printer deleted' "$LOG")"
cli remove
expect_code "the killed removal run again" 0
expect_eq "printers left" "Office" "$(printers)"
expect_eq "drivers left" "" "$(drivers)"

# 6. Nothing installed: remove ends at once, starting nothing.
rm -f "$LOG"
cli remove
expect_code "remove with nothing installed" 0
expect_eq "commands with nothing installed" "" "$(started_lines)"
echo "converge: ok"
