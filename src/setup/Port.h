// How the printer is attached, as a value: a COM port from COM1 to COM256,
// or USB. Made once from the text a user gives, asked wherever COM and USB
// part ways, and written in the print system's spelling in one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

class Port {
public:
    // The highest COM port number Windows gives.
    static constexpr std::uint32_t kHighestCom = 256;

    static Port Usb() { return Port(0); }
    // COM1 to COM256.
    static std::optional<Port> Com(std::uint64_t number);
    // "COM3" ("com3" too, no leading zero) or "USB"; nothing for anything else.
    static std::optional<Port> Parse(std::u16string_view text);
    // The port of a printer, as the print system names it: "COM3:", or a USB
    // port ("USB001"); nothing for the others (LPT1:, a file, a network port).
    static std::optional<Port> OfPrinter(std::u16string_view printSystemName);

    bool IsUsb() const { return number_ == 0; }
    // The COM port's number; 0 for USB.
    std::uint32_t ComNumber() const { return number_; }
    // As a user writes it and the choice is stored: "COM3", "USB".
    std::u16string Name() const;
    // As the print system and the Ports key write it: "COM3:"; empty for USB,
    // whose ports the print system names itself.
    std::u16string PrintSystemName() const;

    bool operator==(const Port&) const = default;

private:
    explicit Port(std::uint32_t number) : number_(number) {}
    std::uint32_t number_;
};

// The number of a COM port's name as Windows writes it: "COM" in any case,
// then a number without leading zeros ("COM7" -> 7); nothing for any other
// name ("COM0", "COM07", "COM3x", "LPT1").
std::optional<std::uint64_t> ComPortNumber(std::u16string_view name);

}  // namespace setup
