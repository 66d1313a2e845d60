// Turns fuzzer bytes into the texts the targets check: UTF-16 from byte pairs
// (so that every code unit, lone surrogates included, can occur), and lists
// of texts split at a separator unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

inline std::u16string Utf16(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

inline std::vector<std::u16string> Split(const std::u16string& text, char16_t separator) {
    std::vector<std::u16string> parts(1);
    for (char16_t c : text) {
        if (c == separator) parts.emplace_back();
        else parts.back().push_back(c);
    }
    return parts;
}

// Stops the run with the input saved: a broken property is a finding.
[[noreturn]] inline void Broken(const char* property) {
    __builtin_printf("broken property: %s\n", property);
    __builtin_trap();
}

}  // namespace fuzz
