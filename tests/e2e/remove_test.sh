#!/usr/bin/env bash
# Unattended removal: only printers whose driver is exactly "KALDO QTX_VELTRO",
# in the print system's order, then the driver; more than 101 of them; and
# argument texts that must not remove anything.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
exe=$(winpath "$package/PortSetup.exe")

reset_state
printf '%s\n' "POS A	KALDO QTX_VELTRO" "Office	Generic / Text Only" "KALDO Veltro MiniPrinter	Other Model" \
  "POS B	kaldo qtx_veltro" "POS C	KALDO QTX_VELTRO" | add_printers
expected=""
while IFS= read -r name; do
  case "$name" in "POS A"|"POS C")
    expected+="$PRINTUI /q /y /n \"$name\""$'\n'"$PRINTUI /dl /n \"$name\""$'\n' ;;
  esac
done < <(printers)
expected+="$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\""
drive start hidden "$exe" "DEL" wait-exit 20000 0 expect-no-window
wait_log 5
expect_lines "removal start order" "$expected" "$(started_lines)"
expect_lines "printers left" "$(printf '%s\n' "KALDO Veltro MiniPrinter" "Office" "POS B" | sort)" "$(printers | sort)"

# More than 101 matching printers: every one is removed.
reset_state
for i in $(seq 1 130); do
  printf 'POS %03d\t%s\n' "$i" "$([ $((i % 10)) -eq 0 ] && echo Generic || echo 'KALDO QTX_VELTRO')"
done | add_printers
drive start hidden "$exe" "DEL" wait-exit 60000 0
wait_log 235
expect_eq "starts for 117 matching printers" "235" "$(started_lines | wc -l)"
expect_eq "last start" "$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"" "$(started_lines | tail -1)"
expect_eq "printers left" "13" "$(printers | wc -l)"

# Texts that are not exactly DEL start nothing.
reset_state
printf 'POS A\tKALDO QTX_VELTRO\n' | add_printers
for text in "del" '" DEL"' "DEL x"; do
  drive start normal "$exe" "$text" wait-window 15000 sleep 500 expect-com 1 close wait-exit 10000 0
done
sleep 1
expect_eq "starts for other argument texts" "" "$(started_lines)"
echo "remove: ok"
