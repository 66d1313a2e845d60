#include "modules/modRegedit.h"

#include <cstdint>
#include <vector>

namespace modRegedit {

using namespace platform;

namespace {

// A key handle that is closed when it goes out of scope, also when it is null
// (closing null is a harmless ERROR_INVALID_HANDLE).
class ScopedKey {
public:
    explicit ScopedKey(AnsiRegistry& registry) : registry_(registry) {}
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    ~ScopedKey() { registry_.RegCloseKey(handle_); }

    RegHandle& handle() { return handle_; }

private:
    AnsiRegistry& registry_;
    RegHandle handle_ = 0;
};

constexpr std::uint32_t kReadBufferSize = 1024;

// A character the code page cannot hold counts one byte, as the default
// character that would stand for it.
long CharAnsiBytes(AnsiRegistry& registry, char16_t c) {
    const auto ansi = registry.ToAnsi(std::u16string_view(&c, 1));
    return ansi && ansi->size() >= 2 ? 2 : 1;
}

}  // namespace

// The module's functions take their texts by value, as its interface lays down.
// NOLINTBEGIN(performance-unnecessary-value-param)
long RegOpenOrCreateKey(AnsiRegistry& registry, RegHandle root, std::u16string subKey,
                        RegHandle& key) {
    // NOLINTEND(performance-unnecessary-value-param)
    // A name the code page cannot hold exactly would name another key.
    const auto ansiSubKey = registry.ToAnsi(subKey);
    if (!ansiSubKey) {
        key = 0;
        return kErrorNoUnicodeTranslation;
    }
    long status = registry.RegOpenKeyExA(root, *ansiSubKey, 0, kKeyAllAccess, key);
    if (status == kErrorSuccess) return status;
    if (status == kErrorFileNotFound) {
        status = registry.RegCreateKeyA(root, *ansiSubKey, key);
        if (status != kErrorSuccess) key = 0;
        return status;
    }
    key = 0;
    return status;
}

// NOLINTBEGIN(performance-unnecessary-value-param): texts by value, as above
long RegSetString(AnsiRegistry& registry, RegHandle root, std::u16string subKey,
                  std::u16string valueName, std::u16string value) {
    // NOLINTEND(performance-unnecessary-value-param)
    ScopedKey key(registry);
    long result = RegOpenOrCreateKey(registry, root, std::move(subKey), key.handle());
    if (result != kErrorSuccess) return result;

    const auto ansiName = registry.ToAnsi(valueName);
    auto data = registry.ToAnsi(value);
    if (!ansiName || !data) return kErrorNoUnicodeTranslation;
    // REG_SZ data must include its terminating NUL, or it reads back one
    // character short.
    const auto byteCount = static_cast<std::uint32_t>(AnsiByteLength(registry, value)) + 1;
    data->resize(byteCount, '\0');
    return registry.RegSetValueExA(key.handle(), *ansiName, kRegSz,
                                   reinterpret_cast<const std::uint8_t*>(data->data()), byteCount);
}

// NOLINTBEGIN(performance-unnecessary-value-param): texts by value, as above
long RegSetDword(AnsiRegistry& registry, RegHandle root, std::u16string subKey, std::u16string valueName,
                 std::uint32_t value) {
    // NOLINTEND(performance-unnecessary-value-param)
    ScopedKey key(registry);
    const long result = RegOpenOrCreateKey(registry, root, std::move(subKey), key.handle());
    if (result != kErrorSuccess) return result;
    const auto ansiName = registry.ToAnsi(valueName);
    if (!ansiName) return kErrorNoUnicodeTranslation;
    // Little-endian, as Windows keeps a REG_DWORD.
    const std::uint8_t data[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return registry.RegSetValueExA(key.handle(), *ansiName, kRegDword, data, sizeof data);
}

// NOLINTBEGIN(performance-unnecessary-value-param): texts by value, as above
long RegDeleteValue(AnsiRegistry& registry, RegHandle root, std::u16string subKey, std::u16string valueName) {
    // NOLINTEND(performance-unnecessary-value-param)
    ScopedKey key(registry);
    const auto ansiSubKey = registry.ToAnsi(subKey);
    const auto ansiName = registry.ToAnsi(valueName);
    if (!ansiSubKey || !ansiName) return kErrorNoUnicodeTranslation;
    const long result = registry.RegOpenKeyExA(root, *ansiSubKey, 0, kKeyAllAccess, key.handle());
    if (result != kErrorSuccess) return result;
    return registry.RegDeleteValueA(key.handle(), *ansiName);
}

// NOLINTBEGIN(performance-unnecessary-value-param): texts by value, as above
long RegGetString(AnsiRegistry& registry, RegHandle root, std::u16string subKey,
                  std::u16string valueName, std::u16string& value) {
    // NOLINTEND(performance-unnecessary-value-param)
    value.clear();
    ScopedKey key(registry);
    // A name the code page cannot hold exactly fails as a key that cannot be
    // opened: it must never be read through a look-alike's key.
    const auto ansiSubKey = registry.ToAnsi(subKey);
    const auto ansiName = registry.ToAnsi(valueName);
    if (!ansiSubKey || !ansiName) return kErrorNoUnicodeTranslation;
    long result = registry.RegOpenKeyExA(root, *ansiSubKey, 0, kKeyAllAccess, key.handle());
    if (result != kErrorSuccess) return result;

    std::string buffer = registry.ToAnsi(std::u16string(kReadBufferSize, u'\0')).value_or(std::string());
    buffer.resize(kReadBufferSize, '\0');
    std::uint32_t type = kRegNone;
    std::uint32_t size = kReadBufferSize;
    result = registry.RegQueryValueExA(key.handle(), *ansiName, type,
                                       reinterpret_cast<std::uint8_t*>(buffer.data()), size);
    if (result != kErrorSuccess) return result;
    if (type != kRegSz) return kErrorSuccess;
    if (size >= 2) {
        const auto text = registry.FromAnsi(buffer);
        if (!text) return kErrorNoUnicodeTranslation;
        value = LeftAnsiBytes(registry, *text, static_cast<long>(size) - 1);
    }
    return kErrorSuccess;
}

long AnsiByteLength(AnsiRegistry& registry, std::u16string_view text) {
    long length = 0;
    for (char16_t c : text) length += CharAnsiBytes(registry, c);
    return length;
}

std::u16string LeftAnsiBytes(AnsiRegistry& registry, std::u16string_view text, long byteCount) {
    long sum = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        sum += CharAnsiBytes(registry, text[i]);
        if (sum == byteCount) return std::u16string(text.substr(0, i + 1));
    }
    return std::u16string(text);
}

}  // namespace modRegedit
