#!/usr/bin/env bash
# The window by keyboard, as a user types: Tab and Shift+Tab walk the
# focusable controls in order and back, reaching USB after a COM pick and the
# COM options after USB; arrow keys move among COM1 to COM4 and select; a
# plain letter presses nothing, Alt+N and Alt+X press their buttons from any
# control; Enter presses the focused push button and nothing elsewhere;
# Alt+Down and Enter pick a list entry. Screen readers find each list's label
# right before it.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
exe=$(winpath "$package/PortSetup.exe")
forward="Delete (&X)|COM1|USB|list 0|list 1|list 2|list 3|list 4|Next (&N)"
walk() {  # keys, then the focus expected after each press, separated by |
  local key=$1 steps=() name
  IFS='|' read -r -a names <<< "$2"
  for name in "${names[@]}"; do steps+=(keys "$key" expect-focus "$name"); done
  printf '%s\0' "${steps[@]}"
}
mapfile -d '' tab_forward < <(walk tab "$forward")
mapfile -d '' tab_back < <(walk shift+tab "list 4|list 3|list 2|list 1|list 0|USB|COM1|Delete (&X)|Next (&N)")

# Walks, arrows, plain letters and Enter elsewhere: nothing is started.
reset_state
drive start normal "$exe" "" wait-window 15000 check-label-walk expect-focus "Next (&N)" \
  "${tab_forward[@]}" "${tab_back[@]}" \
  keys "n x" expect-focus "Next (&N)" \
  keys "tab tab" expect-focus COM1 keys down expect-focus COM2 expect-com 2 keys down expect-com 3 expect-usb 0 \
  keys "x enter" expect-com 3 \
  keys tab expect-focus USB keys space expect-usb 1 expect-com 0 expect-properties 0 0 \
  keys shift+tab expect-focus COM1 keys tab expect-focus USB keys "tab" expect-focus "Next (&N)" \
  keys "shift+tab shift+tab" expect-focus COM1 keys space expect-com 1 expect-usb 0 expect-properties 1 1 \
  keys "tab tab" expect-focus "list 0" keys "alt+down down enter" expect-selected 0 19200 \
  keys "n x" expect-selected 0 19200 \
  close wait-exit 10000 0
sleep 1
expect_eq "printer setup commands started by plain letters, arrows and Enter" "" "$(started_lines)"

# Alt+X from a list runs the removal.
reset_state
drive start normal "$exe" "" wait-window 15000 keys "tab tab tab tab tab" expect-focus "list 1" keys alt+x wait-exit 20000 0
expect_eq "Alt+X from a list" "$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"" "$(started_lines)"

# Alt+N from the USB option installs the driver for USB; the pick made by
# keyboard is the one installed.
reset_state
drive start normal "$exe" "" wait-window 15000 keys "tab tab tab space" expect-usb 1 keys alt+n wait-exit 20000 0
wait_log 1
started_lines | grep -q '/ia /f' || fail "Alt+N from USB did not install the driver: $(started_lines)"

# Enter on the focused Delete button presses it.
reset_state
drive start normal "$exe" "" wait-window 15000 keys tab expect-focus "Delete (&X)" keys enter wait-exit 20000 0
expect_eq "Enter on Delete" "$PRINTUI /q /dd /m \"KALDO QTX_VELTRO\"" "$(started_lines)"
echo "keyboard: ok"
