// The devices behind the COM ports (a serial port of the machine, a USB
// adapter's or the printer's own virtual COM port): found by a part of
// their hardware or instance IDs, so that one command finds the printer's
// port on every till, whatever number Windows gave it; and the USB printer
// ports whose printer is plugged in.
#pragma once

#include "platform/Seams.h"
#include "setup/Port.h"
#include "setup/Verdict.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// The longest device pattern taken: an instance ID is at most 200 characters.
inline constexpr std::size_t kDevicePatternLimit = 200;

// Whether `pattern` can name a device: 1 to 200 of the characters device
// IDs are made of (letters, digits, & _ \ # . + - { }); nothing that could
// end a command line's argument.
bool IsDevicePattern(std::u16string_view pattern);
// Whether a device is on USB: its bus is USB, or an FTDI adapter's, or one
// of its IDs names a USB vendor (VID_).
bool OnUsb(const platform::PortDevice& device);
// Whether `pattern` is part of one of the device's hardware IDs or of its
// instance ID, letters in either case alike.
bool DeviceMatches(const platform::PortDevice& device, std::u16string_view pattern);

// The COM port of the one present device that `pattern` matches, or why
// there is none to take: no such device (1167), several (15250), or the
// devices cannot be listed (1603). The reason lists the present ports and
// their devices.
struct DevicePort {
    std::optional<Port> port;
    const platform::PortDevice* device = nullptr;  // in the list given
    // When no port: the exit code, what is wrong (with the present ports
    // and devices), and the fix.
    int exitCode = 0;
    std::u16string detail;
    std::u16string fix;
    Verdict Refusal() const { return {exitCode, detail + u"; nothing was changed. Fix: " + fix}; }
};
DevicePort PortOfDevice(const platform::PortDeviceList& devices, std::u16string_view pattern);

// One device as the status shows it: "COM7: USB Serial Port (COM7), on USB,
// hardware IDs FTDIBUS\COMPORT&VID_0403&PID_6001, instance FTDIBUS\...".
std::u16string DeviceLine(const platform::PortDevice& device);
// The present COM ports with their devices, in the order of their numbers;
// devices of no COM port (LPT1) are left out.
std::vector<platform::PortDevice> ComPortDevices(const platform::PortDeviceList& devices);

}  // namespace setup
