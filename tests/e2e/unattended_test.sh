#!/usr/bin/env bash
# Unattended removal: a DEL run started hidden, or minimized, ends by itself
# with no window left; other argument texts keep the window open.
. "$(dirname "$0")/lib.sh"
exe=$(winpath "$PORTSETUP_BUILD/PortSetup.exe")
reset_state
for show in hidden minimized normal; do
  drive start "$show" "$exe" "DEL" wait-exit 20000 0 expect-no-window
done
wait_log 3
expect_lines "each DEL run removed once" "$(printf '%s\n' "$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"" "$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"" "$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"")" "$(started_lines)"
for text in "del" '" DEL"' "DEL x"; do
  drive start normal "$exe" "$text" wait-window 15000 sleep 500 expect-com 1 close wait-exit 10000 0
done
# Alt+X reaches "Delete (&X)" from the keyboard; the removal ends the program.
drive start normal "$exe" "" wait-window 15000 mnemonic x wait-exit 20000 0
wait_log 4
echo "unattended: ok"
