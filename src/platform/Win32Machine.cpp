#include "platform/CommandLineText.h"
#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <cstdio>
#include <vector>

namespace platform {

namespace {

// A SID allocated by the system, freed when done.
inline void FreeSidMemory(PSID sid) { ::FreeSid(sid); }
using OwnedSid = UniqueHandle<PSID, FreeSidMemory, nullptr>;

}  // namespace

unsigned ScreenDpi() {
    if (const auto get = User32().GetDpiForSystem)
        if (const UINT dpi = get()) return dpi;
    const WindowDC screen(nullptr);
    const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

TwipSize Win32Machine::ScreenSize() {
    const float twipsPerPixel = 1440.0f / static_cast<float>(ScreenDpi());
    return {static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)) * twipsPerPixel,
            static_cast<float>(::GetSystemMetrics(SM_CYSCREEN)) * twipsPerPixel};
}

std::u16string Win32Machine::CommandLineArguments() {
    const wchar_t* line = ::GetCommandLineW();
    return ArgumentsOf(FromWide(line, wcslen(line)));
}

std::u16string Win32Machine::ProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
    return DirectoryOf(FromWide(path));
}

std::u16string Win32Machine::ProgramDataDirectory() {
    // Where Windows keeps the ProgramData known folder's path: read from the
    // registry, this costs no shell32 and ole32 at start-up (a tenth of a
    // short run under Wine). Only an administrator can change the value.
    // RRF_RT_REG_SZ alone: a REG_EXPAND_SZ value comes back expanded.
    wchar_t path[MAX_PATH + 1] = {};
    DWORD size = sizeof path - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                       L"ProgramData", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, path,
                       &size) == ERROR_SUCCESS &&
        path[0] != L'\0' && path[1] == L':')
        return FromWide(path, wcslen(path));
    // Else the known folder itself, through the shell.
    std::u16string folder;
    const auto getKnownFolder = Shell32().SHGetKnownFolderPath;
    const auto freeMemory = Ole32().CoTaskMemFree;
    PWSTR known = nullptr;
    if (getKnownFolder && freeMemory && SUCCEEDED(getKnownFolder(FOLDERID_ProgramData, 0, nullptr, &known)))
        folder = FromWide(known, wcslen(known));
    if (freeMemory) freeMemory(known);
    if (folder.empty()) folder = u"C:\\ProgramData";
    return folder;
}

NameList Win32Machine::ListSerialCommPorts() {
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &opened);
    if (status == ERROR_FILE_NOT_FOUND) return {true, {}, {}};
    if (status != ERROR_SUCCESS) return {false, {}, SystemErrorText(static_cast<DWORD>(status))};
    const RegistryKey key(opened);
    NameList list{true, {}, {}};
    std::vector<wchar_t> name(256);
    std::vector<BYTE> data(512);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS read = ::RegEnumValueW(key.get(), index, name.data(), &nameSize, nullptr, &type, data.data(),
                                             &dataSize);
        if (read == ERROR_NO_MORE_ITEMS) break;
        if (read == ERROR_MORE_DATA) {
            // A longer name or data than the buffers: grow them and read it again.
            name.resize(name.size() * 2);
            data.resize(std::max<std::size_t>(data.size() * 2, dataSize));
            if (name.size() > 65536) return {false, {}, SystemErrorText(static_cast<DWORD>(read))};
            --index;
            continue;
        }
        if (read != ERROR_SUCCESS) return {false, {}, SystemErrorText(static_cast<DWORD>(read))};
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::size_t length = dataSize / sizeof(wchar_t);
        const auto* text = reinterpret_cast<const wchar_t*>(data.data());
        while (length > 0 && text[length - 1] == L'\0') --length;
        list.names.push_back(FromWide(text, length));
    }
    return list;
}

// Membership of the Administrators group that counts: under UAC a
// non-elevated administrator's token holds it for denying only.
bool Win32Machine::IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &sid))
        return false;
    const OwnedSid admins(sid);
    BOOL member = FALSE;
    return ::CheckTokenMembership(nullptr, admins.get(), &member) && member;
}

std::u16string Win32Machine::RunningUserSid() {
    const std::vector<BYTE> user = TokenUserOfProcess();
    return user.empty() ? std::u16string() : SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

std::u16string Win32Machine::RunningAccountName() {
    std::vector<BYTE> user = TokenUserOfProcess();
    if (user.empty()) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (!::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) return SidText(sid);
    const std::u16string account = FromWide(name, nameSize);
    return domainSize ? FromWide(domain, domainSize) + u"\\" + account : account;
}

std::uint64_t Win32Machine::Milliseconds() { return ::GetTickCount64(); }

std::u16string Win32Machine::LocalTimestamp() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    TIME_ZONE_INFORMATION zone{};
    LONG bias = 0;
    switch (::GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_DAYLIGHT: bias = zone.Bias + zone.DaylightBias; break;
    case TIME_ZONE_ID_STANDARD: bias = zone.Bias + zone.StandardBias; break;
    case TIME_ZONE_ID_UNKNOWN: bias = zone.Bias; break;
    default: break;
    }
    const LONG offset = -bias;  // minutes east of UTC
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
                  (offset < 0 ? -offset : offset) % 60);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace platform
