#!/usr/bin/env bash
# Each architecture's package and programs on the Windows they are for, and
# refused on the other. Usage: arch_test.sh MODE
#   msi64       in a 64-bit prefix: the x86 MSI is refused, naming the x64 one
#   programs64  in a 64-bit prefix: the 32-bit programs refuse at once
#               (PortSetupCli 1633, PortSetup.exe DEL 1 with its event),
#               starting nothing (skipped, 77, where no 32-bit program runs)
#   win32       in a 32-bit prefix: the x64 MSI is refused, the x86 MSI
#               installs on COM2 and uninstalls
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
dist="$root/build/dist"
installed="$WINEPREFIX/drive_c/Program Files/PortSetup"
msiexec() { run_console 'C:\windows\system32\msiexec.exe' "$@" /qn /l*v 'C:\msi.log'; }
msi_log() { tr -d '\r' < "$WINEPREFIX/drive_c/msi.log" 2>/dev/null || true; }
# Refused by its launch conditions, the last action that ran (Wine's quiet
# msiexec does not log the condition's message: the package's tables hold it).
refused() {  # what
  [ "$RUN_CODE" != 0 ] || fail "$1 installed"
  expect_eq "$1: the last action" "LaunchConditions." "$(msi_log | sed -n 's/^Action start [0-9:]*: //p' | tail -1)"
  [ ! -e "$installed/PortSetupCli.exe" ] || fail "$1 left files"
  expect_eq "$1: starts" "" "$(started_lines)"
}

case "${1:?mode}" in
  msi64)
    reset_state
    msiexec /i "$(winpath "$dist/PortSetup-$version-x86.msi")" PORT=COM2
    refused "the x86 MSI on 64-bit Windows"
    msi_log | grep -q '^Property(S): VersionNT64 = ' || fail "Wine's msiexec did not take this prefix for 64-bit Windows"
    echo "msiexec exit code for the x86 MSI on 64-bit Windows: $RUN_CODE" ;;
  programs64)
    build32="$root/build/windows32"
    # Decided by a 32-bit program started once here, not by a file's presence.
    run_console "$(winpath "$build32/PortSetupCli.exe")" --version
    if [ "$RUN_OUT" != "PortSetupCli $version" ]; then
      echo "SKIPPED: no 32-bit program runs here: the 32-bit PortSetupCli --version ended with '${RUN_CODE:-no exit code}' and printed '$RUN_OUT' ($(printf '%s' "$RUN_ERR" | head -1))"
      exit 77
    fi
    reset_state
    install_driver
    run_console "$(winpath "$build32/PortSetupCli.exe")" install --port COM1
    expect_eq "the 32-bit PortSetupCli's exit code" 1633 "$RUN_CODE"
    printf '%s\n' "$RUN_ERR" | grep -qF 'This PortSetupCli.exe is the 32-bit program, for 32-bit Windows; this Windows is 64-bit (amd64). Use the 64-bit PortSetupCli.exe' \
      || fail "the 32-bit PortSetupCli's reason: $RUN_ERR"
    run_events "$(winpath "$build32/PortSetup.exe")" DEL
    expect_eq "the 32-bit PortSetup.exe DEL's exit code" 1 "$RUN_CODE"
    expect_event "the 32-bit DEL's event" \
      '1031 error Verdict: failed\r\nExit code: 1\r\nReason: The removal did not start: This PortSetup.exe is the 32-bit program, for 32-bit Windows'
    expect_eq "starts by the 32-bit programs" "" "$(started_lines)"
    expect_eq "the driver, left alone" "KALDO QTX_VELTRO" "$(drivers)" ;;
  win32)
    reset_state
    msiexec /i "$(winpath "$dist/PortSetup-$version-x64.msi")" PORT=COM2
    [ "$RUN_CODE" != 0 ] || fail "the x64 MSI installed on 32-bit Windows"
    [ ! -e "$installed/PortSetupCli.exe" ] || fail "the x64 MSI left files"
    expect_eq "starts by the x64 MSI" "" "$(started_lines)"
    echo "msiexec exit code for the x64 MSI on 32-bit Windows: $RUN_CODE"
    reset_state
    msiexec /i "$(winpath "$dist/PortSetup-$version-x86.msi")" PORT=COM2 SETTINGS=19200,e,7,1,x
    expect_eq "the x86 MSI's install" 0 "$RUN_CODE"
    expect_eq "printers" "KALDO Veltro MiniPrinter" "$(printers)"
    expect_eq "printer port" "COM2:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
    expect_eq "COM2: settings" "19200,e,7,1,x" "$(reg_value "$PORTS" "COM2:")"
    expect_eq "drivers of Windows NT x86" "KALDO QTX_VELTRO" "$(drivers)"
    run_console 'C:\Program Files\PortSetup\PortSetupCli.exe' status --port COM2 --settings 19200,e,7,1,x
    expect_eq "status" 0 "$RUN_CODE"
    msiexec /x "$(winpath "$dist/PortSetup-$version-x86.msi")"
    expect_eq "the x86 MSI's uninstall" 0 "$RUN_CODE"
    expect_eq "printers after" "" "$(printers)"
    expect_eq "drivers after" "" "$(drivers)" ;;
  *) fail "unknown mode $1" ;;
esac
