#include "platform/Win32System.h"

#include "platform/Win32Platform.h"

#include <windows.h>
#include <shlobj.h>
#include <winspool.h>

#include <cstdio>
#include <vector>

namespace platform {

namespace {

std::u16string Owned(const wchar_t* s) { return s ? FromWide(s, wcslen(s)) : std::u16string(); }

// A SID allocated by the system, freed when done.
inline void FreeSidMemory(PSID sid) { ::FreeSid(sid); }
using OwnedSid = UniqueHandle<PSID, FreeSidMemory, nullptr>;

// A mutex held for as long as the file is written: appends from several
// processes at once could otherwise overwrite one another.
class LogWriterLock {
public:
    LogWriterLock() : mutex_(::CreateMutexW(nullptr, FALSE, L"Global\\PortSetupCli.Log")) {
        if (mutex_) owned_ = ::WaitForSingleObject(mutex_.get(), 5000) != WAIT_TIMEOUT;
    }
    LogWriterLock(const LogWriterLock&) = delete;
    LogWriterLock& operator=(const LogWriterLock&) = delete;
    ~LogWriterLock() {
        if (owned_) ::ReleaseMutex(mutex_.get());
    }

private:
    KernelHandle mutex_;
    bool owned_ = false;
};

}  // namespace

PrinterInfoList Win32System::ListPrinterDetails() {
    using EnumPrintersFn = BOOL(WINAPI*)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    auto enumPrinters = reinterpret_cast<EnumPrintersFn>(WinspoolFunction(winspool_, "EnumPrintersW"));
    if (!enumPrinters) return {false, {}, SystemErrorText(::GetLastError())};
    std::vector<BYTE> buffer;
    DWORD count = 0;
    DWORD error = 0;
    if (!EnumerateInto(
            [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, data, size, needed,
                                    returned);
            },
            buffer, count, error))
        return {false, {}, SystemErrorText(error)};
    PrinterInfoList list{true, {}, {}};
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        list.printers.push_back({Owned(info[i].pPrinterName), Owned(info[i].pPortName), Owned(info[i].pDriverName)});
    return list;
}

std::u16string Win32System::DefaultPrinter() {
    using GetDefaultPrinterFn = BOOL(WINAPI*)(LPWSTR, LPDWORD);
    auto getDefault = reinterpret_cast<GetDefaultPrinterFn>(WinspoolFunction(winspool_, "GetDefaultPrinterW"));
    if (!getDefault) return {};
    DWORD size = 0;
    getDefault(nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!getDefault(name.data(), &size)) return {};
    return Owned(name.c_str());
}

std::optional<std::uint32_t> Win32System::ExitCodeOf(const StartedProcess& process) {
    if (!process) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(static_cast<const Win32Process*>(process.get())->process.get(), &code)) return std::nullopt;
    return code;
}

std::uint64_t Win32System::Milliseconds() { return ::GetTickCount64(); }

std::u16string Win32System::LocalTimestamp() {
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

bool Win32System::FileExists(std::u16string_view path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(std::u16string(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string Win32System::FullPath(std::u16string_view path) {
    const std::u16string given(path);
    const DWORD n = ::GetFullPathNameW(Wide(given), 0, nullptr, nullptr);
    if (n == 0) return given;
    std::wstring full(n, L'\0');
    const DWORD written = ::GetFullPathNameW(Wide(given), n, full.data(), nullptr);
    if (written == 0 || written >= n) return given;
    full.resize(written);
    return FromWide(full);
}

// Membership of the Administrators group that counts: under UAC a
// non-elevated administrator's token holds it for denying only.
bool Win32System::IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &sid))
        return false;
    const OwnedSid admins(sid);
    BOOL member = FALSE;
    return ::CheckTokenMembership(nullptr, admins.get(), &member) && member;
}

bool Win32System::ClaimSingleRun() {
    if (singleRun_) return true;
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\PortSetupCli.SingleRun");
    const DWORD error = ::GetLastError();
    KernelHandle owned(mutex);
    // Another run holds it; one of another user may also refuse us access.
    if (!mutex || error == ERROR_ALREADY_EXISTS) return false;
    singleRun_ = std::move(owned);
    return true;
}

std::u16string Win32System::ProgramDataDirectory() {
    PWSTR path = nullptr;
    std::u16string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path))) folder = Owned(path);
    ::CoTaskMemFree(path);
    if (folder.empty()) folder = u"C:\\ProgramData";
    return folder;
}

std::optional<std::uint64_t> Win32System::FileSize(std::u16string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Wide(std::u16string(path)), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Win32System::AppendToFile(std::u16string_view path, std::string_view bytes, std::u16string& reason) {
    const std::u16string file(path);
    // Create the folders on the way, one after the other.
    for (std::size_t slash = file.find_first_of(u"\\/", 3); slash != std::u16string::npos;
         slash = file.find_first_of(u"\\/", slash + 1))
        ::CreateDirectoryW(Wide(file.substr(0, slash)), nullptr);
    const LogWriterLock lock;
    HANDLE opened = ::CreateFileW(Wide(file), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    const KernelHandle handle(opened);
    DWORD written = 0;
    if (!::WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

bool Win32System::RenameReplacing(std::u16string_view from, std::u16string_view to) {
    return ::MoveFileExW(Wide(std::u16string(from)), Wide(std::u16string(to)), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace platform
