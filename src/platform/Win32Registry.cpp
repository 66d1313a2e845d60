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

long Win32Registry::RegCloseKey(RegHandle key) { return ::RegCloseKey(ToHkey(key)); }

std::string Win32Registry::ToAnsi(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int n = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide, n, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, n, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::u16string Win32Registry::FromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int n = static_cast<int>(bytes.size());
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(chars), u'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()), chars);
    return out;
}

}  // namespace platform
