#!/usr/bin/env bash
# Removal against a print system that takes its time and keeps its rules (a
# driver still used by a printer cannot be deleted): the driver delete waits
# for the printer deletes, the exit code and the window tell the truth, the
# window stays responsive while it waits, and a look-alike printer name never
# stands for another printer.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
exe=$(winpath "$package/PortSetup.exe")

# 1. DEL, started hidden, with three printers of the driver whose deletes take
#    400 ms each: no window shows, the printers and then the driver are gone.
reset_state
install_driver
standin_delay dl 400
printf '%s\n' "POS A	KALDO QTX_VELTRO" "Office	Generic / Text Only" "POS B	KALDO QTX_VELTRO" \
  "POS C	KALDO QTX_VELTRO" | add_printers
drive start hidden "$exe" "DEL" wait-exit-unseen 30000 0
expect_eq "printers left" "Office" "$(printers)"
expect_eq "drivers left" "" "$(drivers)"
expect_eq "starts" "7" "$(started_lines | wc -l)"
expect_eq "driver delete" "done: driver deleted" "$(outcomes | tail -1)"
expect_eq "the driver delete started after the others ended" "yes" "$(last_start_after_others)"

# 2. A printer the removal does not find still uses the driver (its value is
#    REG_EXPAND_SZ, which the print system reads): exit 1, it stays, the driver too.
reset_state
install_driver
printf '%s\n' "POS A	KALDO QTX_VELTRO" "Hidden use	KALDO QTX_VELTRO	expand" | add_printers
drive start hidden "$exe" "DEL" wait-exit-unseen 30000 1
expect_eq "printers left" "Hidden use" "$(printers)"
expect_eq "drivers left" "KALDO QTX_VELTRO" "$(drivers)"
expect_eq "driver delete" "refused: driver in use" "$(outcomes | tail -1)"

# 3. The same through the Delete button: the user is told why.
reset_state
install_driver
printf '%s\n' "Hidden use	KALDO QTX_VELTRO	expand" | add_printers
drive start normal "$exe" "" wait-window 15000 delete \
  answer-message 20000 "could not be removed: it is still installed" wait-exit 10000 0
expect_eq "drivers left" "KALDO QTX_VELTRO" "$(drivers)"

# 4. While the Delete button's removal waits on slow deletes, the window
#    answers at once, takes no input, and a second click or a close changes nothing.
reset_state
install_driver
standin_delay dl 4000
printf '%s\n' "POS A	KALDO QTX_VELTRO" "POS B	KALDO QTX_VELTRO" | add_printers
drive start normal "$exe" "" wait-window 15000 delete sleep 1000 \
  expect-responsive 1000 expect-input-blocked delete close sleep 300 expect-responsive 1000 \
  wait-exit 30000 0
expect_eq "starts" "5" "$(started_lines | wc -l)"
expect_eq "printers left" "" "$(printers)"
expect_eq "drivers left" "" "$(drivers)"

# 5. A full-width name that a best-fit conversion turns into "POS A": only
#    the real "POS A", which uses the driver, is removed.
reset_state
install_driver
printf '%s\n' "ＰＯＳ Ａ	Generic / Text Only" "POS A	KALDO QTX_VELTRO" | add_printers
drive start hidden "$exe" "DEL" wait-exit-unseen 30000 0
expect_eq "printers left" "ＰＯＳ Ａ" "$(printers)"
expect_lines "starts" "$PRINTUI /q /y /n \"POS A\"
$PRINTUI /dl /n \"POS A\"
$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"" "$(started_lines)"
echo "slow remove: ok"
