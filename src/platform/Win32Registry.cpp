#include "platform/Win32Registry.h"

#include <windows.h>

namespace platform {

namespace {
HKEY ToHkey(RegHandle h) { return reinterpret_cast<HKEY>(h); }
}  // namespace

long Win32Registry::RegOpenKeyExA(RegHandle root, const std::string& subKey, std::uint32_t options,
                                  std::uint32_t access, RegHandle& key) {
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), options, access, &opened);
    key = reinterpret_cast<RegHandle>(opened);
    return status;
}

long Win32Registry::RegCreateKeyA(RegHandle root, const std::string& subKey, RegHandle& key) {
    HKEY created = nullptr;
    const LONG status = ::RegCreateKeyA(ToHkey(root), subKey.c_str(), &created);
    key = reinterpret_cast<RegHandle>(created);
    return status;
}

long Win32Registry::RegQueryValueExA(RegHandle key, const std::string& valueName,
                                     std::uint32_t& type, std::uint8_t* data, std::uint32_t& size) {
    DWORD t = type;
    DWORD s = size;
    const LONG status = ::RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, &t, data, &s);
    type = t;
    size = s;
    return status;
}

long Win32Registry::RegSetValueExA(RegHandle key, const std::string& valueName, std::uint32_t type,
                                   const std::uint8_t* data, std::uint32_t size) {
    return ::RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, data, size);
}

long Win32Registry::RegDeleteValueA(RegHandle key, const std::string& valueName) {
    return ::RegDeleteValueA(ToHkey(key), valueName.c_str());
}

long Win32Registry::RegCloseKey(RegHandle key) { return ::RegCloseKey(ToHkey(key)); }

// WC_NO_BEST_FIT_CHARS keeps look-alikes out (a full-width P must not become P):
// a character without an exact counterpart takes the default character, which
// the call reports. A UTF-8 ANSI code page takes neither, but refuses invalid
// text itself.
std::optional<std::string> Win32Registry::ToAnsi(std::u16string_view text) {
    if (text.empty()) return std::string();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int n = static_cast<int>(text.size());
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int bytes = ::WideCharToMultiByte(CP_ACP, flags, wide, n, nullptr, 0, nullptr, usedDefaultOut);
    if (bytes <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<std::size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, wide, n, out.data(), bytes, nullptr, usedDefaultOut) != bytes ||
        usedDefault)
        return std::nullopt;
    return out;
}

std::optional<std::u16string> Win32Registry::FromAnsi(std::string_view bytes) {
    if (bytes.empty()) return std::u16string();
    const int n = static_cast<int>(bytes.size());
    const int chars = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (chars <= 0) return std::nullopt;
    std::u16string out(static_cast<std::size_t>(chars), u'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()),
                              chars) != chars)
        return std::nullopt;
    return out;
}

}  // namespace platform
