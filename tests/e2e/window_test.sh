#!/usr/bin/env bash
# The real window: every control with its caption, place and state, centred;
# switching between COM and USB; the close box ends the program and writes
# nothing; screenshots of both states are kept.
. "$(dirname "$0")/lib.sh"
exe=$(winpath "$PORTSETUP_BUILD/PortSetup.exe")
ports_before=$(reg_query "$PORTS")

drive start normal "$exe" "" wait-window 15000 check-layout \
  screenshot "$(winpath "$ARTIFACTS/window-com.png")" \
  pick 0 115200 pick 4 None click-usb expect-usb 1 expect-com 0 expect-properties 0 0 \
  screenshot "$(winpath "$ARTIFACTS/window-usb.png")" \
  click-com 3 expect-com 3 expect-usb 0 expect-properties 1 1 expect-selected 0 115200 expect-selected 4 None \
  click-com 3 expect-com 3 expect-properties 1 1 \
  close wait-exit 10000 0
expect_eq "Ports after closing" "$ports_before" "$(reg_query "$PORTS")"

# A shortcut that asks for a minimized start still gets a normal, centred window.
drive start minimized "$exe" "" wait-window 15000 check-layout close wait-exit 10000 0
echo "window: ok"
