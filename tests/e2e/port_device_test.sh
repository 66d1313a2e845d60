#!/usr/bin/env bash
# The printer's COM port found by its device, under Wine's own SetupAPI: a
# USB-to-serial adapter's device node, written in the registry the way
# Windows keeps it, is listed by status; install --port auto --device takes
# its port and remembers the device; when Windows renumbers the port, status
# --stored says so and repair moves the printer with its line settings. No
# matching device, or several, is refused before any change. Last, a USB
# printer moved to another jack: of two queues of the driver, the one whose
# USB printing interface is present (linked) is ours, the other is stale.
. "$(dirname "$0")/lib.sh"
package="$WINEPREFIX/drive_c/Setup"
make_package "$package"
cli_exe=$(winpath "$package/PortSetupCli.exe")
cli() { run_console "$cli_exe" "$@"; }
ENUM='HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS'
SERIALCOMM='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
RECORD='HKLM\SOFTWARE\PortSetup'
# An FTDI adapter's device node of the Ports class, on COM port $2.
adapter() {  # serial number, port
  local node="$ENUM\\VID_0403+PID_6001+$1\\0000"
  wine_run reg add "$node" /v ClassGUID /d '{4d36e978-e325-11ce-bfc1-08002be10318}' /f >/dev/null
  wine_run reg add "$node" /v Class /d Ports /f >/dev/null
  wine_run reg add "$node" /v HardwareID /t REG_MULTI_SZ /d 'FTDIBUS\COMPORT&VID_0403&PID_6001' /f >/dev/null
  wine_run reg add "$node" /v FriendlyName /d "USB Serial Port ($2)" /f >/dev/null
  wine_run reg add "$node\\Device Parameters" /v PortName /d "$2" /f >/dev/null
  wine_run reg add "$SERIALCOMM" /v "\\Device\\VCP_$1" /d "$2" /f >/dev/null
}
USBPRINT='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
INTERFACE="HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\$USBPRINT\\##?#USB#VID_0DD4&PID_0195#K4X2#$USBPRINT"
on_exit "wine_run reg delete '$ENUM' /f >/dev/null 2>&1; wine_run reg delete '$RECORD' /f >/dev/null 2>&1 || true"
on_exit "wine_run reg delete 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\$USBPRINT' /f >/dev/null 2>&1 || true"
reset_state
wine_run reg delete "$RECORD" /f >/dev/null 2>&1 || true
adapter A5XK3RJTA COM7

# 1. status lists the port with its device.
cli status --json
expect_eq "the adapter's port and device" \
  "COM7|USB Serial Port (COM7)|['FTDIBUS\\\\COMPORT&VID_0403&PID_6001']|FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000|True" \
  "$(json '"|".join(str(x) for x in [[p for p in d["portDevices"] if p["port"] == "COM7"][0][k] for k in ("port", "name", "hardwareIds", "instanceId", "usb")])')"
echo "status --json: $(json '[p for p in d["portDevices"] if p["port"] == "COM7"][0]')"
cli status
printf '%s\n' "$RUN_OUT" | grep -qxF '  COM7: USB Serial Port (COM7), on USB, hardware IDs FTDIBUS\COMPORT&VID_0403&PID_6001, instance FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000' \
  || fail "plain status lacks the device: $RUN_OUT"
printf 'status: %s\n' "$(printf '%s\n' "$RUN_OUT" | grep -A1 '^COM ports on this machine')"

# 2. install by the device: its port; the device remembered, not the number.
cli install --port auto --device 'vid_0403&pid_6001' --settings 19200,e,7,1,x --remember
expect_code "install by device" 0
printf '%s\n' "$RUN_OUT" | grep -q '^found: --device "vid_0403&pid_6001" is COM7: USB Serial Port (COM7)' || fail "no found line: $RUN_OUT"
printf 'install: %s\n' "$(printf '%s\n' "$RUN_OUT" | grep -e '^found: --device' -e '/if /b')"
expect_eq "printer port" "COM7:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
expect_eq "COM7: settings" "19200,e,7,1,x" "$(reg_value "$PORTS" "COM7:")"
expect_eq "stored device" "vid_0403&pid_6001" "$(reg_value "$RECORD" Device)"
expect_eq "no stored port" "" "$(reg_value "$RECORD" Port)"
cli status --stored
expect_code "status --stored before the renumbering" 0

# 3. Windows renumbers the adapter (another USB jack): COM8.
wine_run reg delete "$SERIALCOMM" /v '\Device\VCP_A5XK3RJTA' /f >/dev/null
adapter A5XK3RJTA COM8
cli status --stored
expect_code "status --stored after the renumbering" 1605
printf '%s\n' "$RUN_OUT" | grep -qF 'the printer is on COM7:, its device is on COM8: (USB Serial Port (COM8))' \
  || fail "status does not say the device moved: $RUN_OUT"
printf 'renumbered: %s\n' "$(printf '%s\n' "$RUN_OUT" | grep '^Installed as asked')"
rm -f "$LOG"
cli repair
expect_code "repair" 0
expect_eq "repair's command" "$PRINTUI /q /Xs /n \"KALDO Veltro MiniPrinter\" PortName \"COM8:\"" "$(started_lines | grep '/Xs')"
printf 'repair: %s\n' "$(started_lines)"
expect_eq "printer port after repair" "COM8:" "$(reg_value "$PRINTERS\\KALDO Veltro MiniPrinter" Port)"
expect_eq "COM8: settings after repair" "19200,e,7,1,x" "$(reg_value "$PORTS" "COM8:")"
expect_eq "still the device stored" "vid_0403&pid_6001" "$(reg_value "$RECORD" Device)"
cli status --stored
expect_code "status --stored after repair" 0

# 4. A second adapter of the model: several; a pattern of none: none. Both
#    refused before anything is started.
adapter B7YY1QZ2A COM9
rm -f "$LOG"
cli install --port auto --device 'VID_0403&PID_6001'
expect_code "several devices" 15250
printf '%s\n' "$RUN_ERR" | grep -qF 'several present COM port devices match --device "VID_0403&PID_6001": COM8, COM9' \
  || fail "stderr: $RUN_ERR"
cli install --port auto --device PID_9999
expect_code "no device" 1167
expect_eq "commands started by the refusals" "" "$(started_lines)"

# 5. The USB printer was plugged into another jack: Plug and Play made a
#    second queue on USB002, and the first stays on USB001, whose device is
#    gone. The USB printing interface of the printer now plugged in names
#    USB002 (Base Name and Port Number, as the print system's USB monitor
#    reads them), linked while the printer is there.
reset_state
wine_run reg add "$DELAYS" /v plugged /d "KALDO QTX_VELTRO" /f >/dev/null
cli install --port USB
expect_code "install for the USB printer" 0
copy='KALDO QTX_VELTRO (Copy 1)'
wine_run reg add "$PRINTERS\\$copy" /v Name /d "$copy" /f >/dev/null
wine_run reg add "$PRINTERS\\$copy" /v 'Printer Driver' /d 'KALDO QTX_VELTRO' /f >/dev/null
wine_run reg add "$PRINTERS\\$copy" /v Port /d USB002 /f >/dev/null
instance='USB\VID_0DD4&PID_0195\K4X2'
wine_run reg add "HKLM\SYSTEM\CurrentControlSet\Enum\\$instance" /v ClassGUID /d '{36fc9e60-c465-11cf-8056-444553540000}' /f >/dev/null
wine_run reg add "$INTERFACE" /v DeviceInstance /d "$instance" /f >/dev/null
wine_run reg add "$INTERFACE\#" /v SymbolicLink /d "\\\\?\\USB#VID_0DD4&PID_0195#K4X2#$USBPRINT" /f >/dev/null
wine_run reg add "$INTERFACE\#\Control" /v Linked /t REG_DWORD /d 1 /f >/dev/null
wine_run reg add "$INTERFACE\#\Device Parameters" /v 'Base Name' /d USB /f >/dev/null
wine_run reg add "$INTERFACE\#\Device Parameters" /v 'Port Number' /t REG_DWORD /d 2 /f >/dev/null
cli status --json
expect_eq "the live queue and the stale one" "$copy|['KALDO QTX_VELTRO on USB001']" "$(json '"|".join([d["ourPrinter"], str(d["staleQueues"])])')"
echo "live queue: $(json 'd["ourPrinterNote"]')"
cli set-default
expect_code "set-default with a stale queue" 0
expect_eq "the default is the live queue" "$copy,winspool,USB002" \
  "$(reg_value 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' Device)"
expect_eq "nothing deleted for the stale queue" "KALDO QTX_VELTRO" "$(reg_value "$PRINTERS\\KALDO QTX_VELTRO" Name)"
# Unplugged (the interface no longer linked): neither is live, the first by name is taken, both are stale.
wine_run reg add "$INTERFACE\#\Control" /v Linked /t REG_DWORD /d 0 /f >/dev/null
cli status --json
expect_eq "with the printer unplugged" "KALDO QTX_VELTRO|2" "$(json '"|".join([d["ourPrinter"], str(len(d["staleQueues"]))])')"
echo "port_device: ok"
