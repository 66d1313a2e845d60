#include "setup/Port.h"

namespace setup {

std::optional<std::uint64_t> ComPortNumber(std::u16string_view name) {
    if (name.size() < 4 || name.size() > 13 || name[3] == u'0') return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if ((name[i] | 0x20) != u"com"[i]) return std::nullopt;
    std::uint64_t number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < u'0' || name[i] > u'9') return std::nullopt;
        number = number * 10 + static_cast<std::uint64_t>(name[i] - u'0');
    }
    return number;
}

std::optional<Port> Port::Com(std::uint64_t number) {
    if (number < 1 || number > kHighestCom) return std::nullopt;
    return Port(static_cast<std::uint32_t>(number));
}

std::optional<Port> Port::Parse(std::u16string_view text) {
    if (text.size() == 3 && (text[0] | 0x20) == u'u' && (text[1] | 0x20) == u's' && (text[2] | 0x20) == u'b')
        return Usb();
    const auto number = ComPortNumber(text);
    return number ? Com(*number) : std::nullopt;
}

std::optional<Port> Port::OfPrinter(std::u16string_view name) {
    if (name.size() >= 3 && (name[0] | 0x20) == u'u' && (name[1] | 0x20) == u's' && (name[2] | 0x20) == u'b')
        return Usb();
    if (name.empty() || name.back() != u':') return std::nullopt;
    const auto number = ComPortNumber(name.substr(0, name.size() - 1));
    return number ? Com(*number) : std::nullopt;
}

std::u16string Port::Name() const {
    if (IsUsb()) return u"USB";
    const std::string digits = std::to_string(number_);
    return u"COM" + std::u16string(digits.begin(), digits.end());
}

std::u16string Port::PrintSystemName() const { return IsUsb() ? u"" : Name() + u":"; }

}  // namespace setup
