// The six ANSI registry functions the registry helpers use, and the system's
// ANSI code page that their texts cross in. On Windows this is advapi32 itself;
// on the host an in-memory registry that keeps the same contract.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using RegHandle = std::uintptr_t;  // an HKEY's value

inline constexpr RegHandle kHkeyCurrentUser = 0x80000001;
inline constexpr RegHandle kHkeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t kKeyAllAccess = 0x2003F;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegDword = 4;

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorMoreData = 234;
// No mapping for the Unicode character exists in the target code page.
inline constexpr long kErrorNoUnicodeTranslation = 1113;

class AnsiRegistry {
public:
    virtual ~AnsiRegistry() = default;

    virtual long RegOpenKeyExA(RegHandle root, const std::string& subKey, std::uint32_t options,
                               std::uint32_t access, RegHandle& key) = 0;
    virtual long RegCreateKeyA(RegHandle root, const std::string& subKey, RegHandle& key) = 0;
    // `type` and `size` are in/out as in Windows: `size` holds the buffer size
    // on entry and the value's size on return.
    virtual long RegQueryValueExA(RegHandle key, const std::string& valueName,
                                  std::uint32_t& type, std::uint8_t* data,
                                  std::uint32_t& size) = 0;
    virtual long RegSetValueExA(RegHandle key, const std::string& valueName, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
    virtual long RegDeleteValueA(RegHandle key, const std::string& valueName) = 0;
    virtual long RegCloseKey(RegHandle key) = 0;

    // Exact conversions to and from the system's ANSI code page: nothing when
    // the code page cannot hold a character of `text` as it is (no look-alike
    // stands in for it), or when `bytes` is not valid in the code page.
    virtual std::optional<std::string> ToAnsi(std::u16string_view text) = 0;
    virtual std::optional<std::u16string> FromAnsi(std::string_view bytes) = 0;
};

}  // namespace platform
