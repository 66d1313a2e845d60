// The registry functions of advapi32 and the system's ANSI code page.
#pragma once

#include "platform/AnsiRegistry.h"

namespace platform {

class Win32Registry : public AnsiRegistry {
public:
    long RegOpenKeyExA(RegHandle root, const std::string& subKey, std::uint32_t options,
                       std::uint32_t access, RegHandle& key) override;
    long RegCreateKeyA(RegHandle root, const std::string& subKey, RegHandle& key) override;
    long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t& type,
                          std::uint8_t* data, std::uint32_t& size) override;
    long RegSetValueExA(RegHandle key, const std::string& valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
    long RegDeleteValueA(RegHandle key, const std::string& valueName) override;
    long RegCloseKey(RegHandle key) override;
    std::optional<std::string> ToAnsi(std::u16string_view text) override;
    std::optional<std::u16string> FromAnsi(std::string_view bytes) override;
};

}  // namespace platform
