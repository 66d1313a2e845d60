// The serial line settings of a COM port: the five lists' entries (what the
// window shows and the code each stands for), their defaults, and the
// settings text Windows keeps for the port, such as "9600,n,8,1,p": how it is
// composed from the codes, how a given text is checked, and where Windows
// keeps it.
#pragma once

#include "platform/AnsiRegistry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

struct ListEntry {
    std::u16string display;
    std::u16string code;
};

struct SerialList {
    std::u16string_view label;
    std::vector<ListEntry> entries;
    int defaultIndex;
};

inline constexpr int kSerialListCount = 5;

// Bits per second, data bits, parity, stop bits, flow control, in screen order.
const std::array<SerialList, kSerialListCount>& SerialLists();

// The settings text of the lists' codes, given in screen order: speed,
// parity, data bits, stop bits, then the flow-control code (which carries
// its own comma). A code that is missing drops its field with its comma.
std::u16string ComposePortSettings(const std::array<std::optional<std::u16string>, kSerialListCount>& codes);


// The settings text of the lists' defaults: "9600,n,8,1,p".
std::u16string DefaultPortSettings();

// Whether `settings` is a text the five lists can produce; otherwise `error`
// says, after the quoted text, which field is wrong and what it allows.
bool ValidPortSettings(std::u16string_view settings, std::u16string& error);

// Why Windows' standard serial port cannot apply `settings` (a valid text),
// or nothing: the serial driver's documented limits for the standard UART
// refuse 5 data bits with 2 stop bits, 1.5 stop bits with 6 to 8 data bits,
// and fewer than 5 data bits. The lists offer every combination; this is a
// warning, since a USB adapter's driver may take what the standard one
// refuses.
std::optional<std::u16string> UartCannotApply(std::u16string_view settings);

// Windows keeps each COM port's line settings here, as a value named like the port.
inline constexpr std::u16string_view kPortsKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
// Writes `settings` as the Ports value of `portName` ("COM3:"); returns the status.
long StorePortSettings(platform::AnsiRegistry& registry, std::u16string_view portName, std::u16string_view settings);
// Reads the Ports value of `portName` into `settings`; returns the status.
long ReadPortSettings(platform::AnsiRegistry& registry, std::u16string_view portName, std::u16string& settings);

}  // namespace setup
