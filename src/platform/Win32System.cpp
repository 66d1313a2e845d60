#include "platform/Win32System.h"

#include "platform/Win32Platform.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {

namespace {

std::u16string Owned(const wchar_t* s) { return s ? FromWide(s, wcslen(s)) : std::u16string(); }

// A SID allocated by the system, freed when done.
inline void FreeSidMemory(PSID sid) { ::FreeSid(sid); }
using OwnedSid = UniqueHandle<PSID, FreeSidMemory, nullptr>;

// A security descriptor made from SDDL, freed when done.
class Descriptor {
public:
    explicit Descriptor(std::u16string_view sddl) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(std::u16string(sddl)), SDDL_REVISION_1, &sd,
                                                                   nullptr))
            memory_.reset(sd);
        else
            error_ = ::GetLastError();
    }
    PSECURITY_DESCRIPTOR get() const { return memory_.get(); }
    DWORD error() const { return error_; }

private:
    LocalMemory memory_;
    DWORD error_ = 0;
};

std::u16string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text)) return {};
    const LocalMemory owned(text);
    return Owned(text);
}

// Whether two paths name the same place, letter case aside; the final path
// comes as \\?\C:\... or \\?\UNC\server\...
bool SamePath(std::u16string finalPath, const std::u16string& expected) {
    if (finalPath.rfind(u"\\\\?\\UNC\\", 0) == 0) finalPath = u"\\\\" + finalPath.substr(8);
    else if (finalPath.rfind(u"\\\\?\\", 0) == 0) finalPath = finalPath.substr(4);
    return ::CompareStringOrdinal(Wide(finalPath), static_cast<int>(finalPath.size()), Wide(expected),
                                  static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

std::u16string FullPathOf(const std::u16string& path) {
    const DWORD n = ::GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD written = ::GetFullPathNameW(Wide(path), n, full.data(), nullptr);
    if (written == 0 || written >= n) return path;
    full.resize(written);
    return FromWide(full);
}

// Opens what is at `path` itself, a link rather than its target.
KernelHandle OpenItself(const std::u16string& path, DWORD access, DWORD share) {
    HANDLE h = ::CreateFileW(Wide(path), access, share, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return KernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// The facts of an opened file or folder: whether it is, or resolves to,
// something other than `path`, its links and its security.
void FactsOfHandle(HANDLE handle, const std::u16string& path, PathFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        facts.reason = SystemErrorText(::GetLastError());
        return;
    }
    facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.links = info.nNumberOfLinks;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) facts.redirected = true;
    // A link on the way, or one the system follows even so, shows in the
    // path the opened file really has.
    std::wstring finalPath(1024, L'\0');
    const DWORD n = ::GetFinalPathNameByHandleW(handle, finalPath.data(), static_cast<DWORD>(finalPath.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= finalPath.size() || !SamePath(FromWide(finalPath.data(), n), FullPathOf(path)))
        facts.redirected = true;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD error = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                          &owner, nullptr, &dacl, nullptr, &sd);
    if (error != ERROR_SUCCESS) {
        facts.reason = SystemErrorText(error);
        return;
    }
    const LocalMemory ownedSd(sd);
    facts.securityRead = true;
    facts.owner = SidText(owner);
    facts.nullDacl = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);  // same layout for both
        facts.access.push_back({header->AceType == ACCESS_ALLOWED_ACE_TYPE,
                                SidText(const_cast<DWORD*>(&allowed->SidStart)), allowed->Mask,
                                (header->AceFlags & INHERIT_ONLY_ACE) != 0});
    }
}

// The log file, opened for appending without following a link.
class Win32AppendFile : public AppendFile {
public:
    Win32AppendFile(KernelHandle handle, std::u16string path) : handle_(std::move(handle)), path_(std::move(path)) {}

    PathFacts Facts() override {
        PathFacts facts;
        facts.exists = true;
        const DWORD attributes = ::GetFileAttributesW(Wide(path_));
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            facts.redirected = true;
        FactsOfHandle(handle_.get(), path_, facts);
        return facts;
    }
    std::uint64_t Size() override {
        LARGE_INTEGER size{};
        return ::GetFileSizeEx(handle_.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    }
    bool EndsWithLineBreak() override {
        const std::uint64_t size = Size();
        if (size == 0) return true;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(size - 1);
        at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
        char last = 0;
        DWORD read = 0;
        return !::ReadFile(handle_.get(), &last, 1, &read, &at) || read != 1 || last == '\n';
    }
    bool Append(std::string_view bytes, std::u16string& reason) override {
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            reason = SystemErrorText(::GetLastError());
            return false;
        }
        return true;
    }
    // Through a second handle with the right to rename, checked to be the
    // same file: the appending handle lets readers keep the file open.
    bool RenameReplacing(std::u16string_view to, std::u16string& reason) override {
        const KernelHandle renaming = OpenItself(path_, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
        if (!renaming) {
            reason = SystemErrorText(::GetLastError());
            return false;
        }
        if (!::GetFileInformationByHandle(handle_.get(), &mine) ||
            !::GetFileInformationByHandle(renaming.get(), &theirs) ||
            mine.dwVolumeSerialNumber != theirs.dwVolumeSerialNumber || mine.nFileIndexHigh != theirs.nFileIndexHigh ||
            mine.nFileIndexLow != theirs.nFileIndexLow) {
            reason = u"the file changed while it was written";
            return false;
        }
        const std::u16string target(to);
        std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, target.c_str(), target.size() * sizeof(wchar_t));
        if (!::SetFileInformationByHandle(renaming.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
            reason = SystemErrorText(::GetLastError());
            return false;
        }
        return true;
    }

private:
    KernelHandle handle_;
    std::u16string path_;
};

class Win32HeldLock : public HeldLock {
public:
    explicit Win32HeldLock(KernelHandle file) : file_(std::move(file)) {}

private:
    KernelHandle file_;
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

NameList Win32System::ListSerialCommPorts() {
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

bool Win32System::PurgePrintJobs(std::u16string_view printer, std::u16string& reason) {
    using OpenPrinterFn = BOOL(WINAPI*)(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW);
    using SetPrinterFn = BOOL(WINAPI*)(HANDLE, DWORD, LPBYTE, DWORD);
    using ClosePrinterFn = BOOL(WINAPI*)(HANDLE);
    auto openPrinter = reinterpret_cast<OpenPrinterFn>(WinspoolFunction(winspool_, "OpenPrinterW"));
    auto setPrinter = reinterpret_cast<SetPrinterFn>(WinspoolFunction(winspool_, "SetPrinterW"));
    auto closePrinter = reinterpret_cast<ClosePrinterFn>(WinspoolFunction(winspool_, "ClosePrinter"));
    if (!openPrinter || !setPrinter || !closePrinter) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    std::u16string name(printer);
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
    HANDLE opened = nullptr;
    if (!openPrinter(reinterpret_cast<wchar_t*>(name.data()), &opened, &access)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    // The printer handle is closed with the spooler's own function.
    struct Closer {
        ClosePrinterFn close;
        HANDLE handle;
        ~Closer() { close(handle); }
    } const owned{closePrinter, opened};
    if (!setPrinter(owned.handle, 0, nullptr, PRINTER_CONTROL_PURGE)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
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

std::u16string Win32System::FullPath(std::u16string_view path) { return FullPathOf(std::u16string(path)); }

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

std::u16string Win32System::ProgramDataDirectory() {
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
        return Owned(path);
    // Else the known folder itself, through the shell.
    std::u16string folder;
    using GetKnownFolderFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    using FreeFn = void(WINAPI*)(LPVOID);
    const ModuleHandle shell(LoadSystemLibrary(L"shell32.dll"));
    const ModuleHandle ole(LoadSystemLibrary(L"ole32.dll"));
    auto getKnownFolder = shell ? reinterpret_cast<GetKnownFolderFn>(reinterpret_cast<void*>(
                                        ::GetProcAddress(shell.get(), "SHGetKnownFolderPath")))
                                : nullptr;
    auto freeMemory = ole ? reinterpret_cast<FreeFn>(reinterpret_cast<void*>(::GetProcAddress(ole.get(), "CoTaskMemFree"))) : nullptr;
    PWSTR known = nullptr;
    if (getKnownFolder && freeMemory && SUCCEEDED(getKnownFolder(FOLDERID_ProgramData, 0, nullptr, &known)))
        folder = Owned(known);
    if (freeMemory) freeMemory(known);
    if (folder.empty()) folder = u"C:\\ProgramData";
    return folder;
}

PathFacts Win32System::Examine(std::u16string_view path) {
    const std::u16string given(path);
    PathFacts facts;
    const DWORD attributes = ::GetFileAttributesW(Wide(given));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return facts;
        facts.exists = true;
        facts.reason = SystemErrorText(error);
        return facts;
    }
    facts.exists = true;
    facts.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        facts.redirected = true;
        return facts;
    }
    const KernelHandle handle =
        OpenItself(given, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!handle) {
        facts.reason = SystemErrorText(::GetLastError());
        return facts;
    }
    FactsOfHandle(handle.get(), given, facts);
    return facts;
}

namespace {

// The running process's TOKEN_USER, in a buffer; empty when it cannot be read.
std::vector<BYTE> TokenUserOfProcess() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const KernelHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

}  // namespace

std::u16string Win32System::RunningUserSid() {
    const std::vector<BYTE> user = TokenUserOfProcess();
    return user.empty() ? std::u16string() : SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

std::u16string Win32System::RunningAccountName() {
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

bool Win32System::CreateFolder(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) {
    const Descriptor sd(descriptor);
    if (!sd.get()) {
        reason = SystemErrorText(sd.error());
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    if (!::CreateDirectoryW(Wide(std::u16string(path)), &attributes)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

bool Win32System::SetFolderSecurity(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) {
    const Descriptor sd(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!sd.get() || !::GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted)) {
        reason = SystemErrorText(sd.get() ? ::GetLastError() : sd.error());
        return false;
    }
    // Through a handle of the folder itself, never of a link's target.
    const KernelHandle folder = OpenItself(std::u16string(path), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!folder) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    PathFacts facts;
    FactsOfHandle(folder.get(), std::u16string(path), facts);
    if (facts.redirected || !facts.directory) {
        reason = u"it is not a plain folder";
        return false;
    }
    const DWORD error = ::SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                          nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS) {
        reason = SystemErrorText(error);
        return false;
    }
    return true;
}

std::optional<std::vector<std::u16string>> Win32System::FolderEntries(std::u16string_view path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(Wide(std::u16string(path) + u"\\*"), &found);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    const FindHandle owned(search);
    std::vector<std::u16string> names;
    do {
        const std::u16string name = Owned(found.cFileName);
        if (name != u"." && name != u"..") names.push_back(name);
    } while (::FindNextFileW(search, &found));
    return names;
}

LockAttempt Win32System::TakeLock(std::u16string_view path, std::u16string_view descriptor,
                                  std::uint32_t waitMilliseconds) {
    LockAttempt attempt;
    const std::u16string file(path);
    const Descriptor sd(descriptor);
    if (!sd.get()) {
        attempt.reason = SystemErrorText(sd.error());
        return attempt;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    const ULONGLONG until = ::GetTickCount64() + waitMilliseconds;
    for (;;) {
        // No sharing: while this handle is open no other process can open the file.
        HANDLE h = ::CreateFileW(Wide(file), GENERIC_READ | GENERIC_WRITE, 0, &attributes, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            KernelHandle handle(h);
            PathFacts facts;
            FactsOfHandle(handle.get(), file, facts);
            if (facts.redirected || facts.directory || facts.links != 1) {
                attempt.reason = file + u" is not a plain file";
                return attempt;
            }
            attempt.outcome = LockAttempt::Outcome::Taken;
            attempt.lock = std::make_unique<Win32HeldLock>(std::move(handle));
            return attempt;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
            attempt.reason = SystemErrorText(error);
            return attempt;
        }
        if (::GetTickCount64() >= until) {
            attempt.outcome = LockAttempt::Outcome::HeldElsewhere;
            return attempt;
        }
        ::Sleep(50);
    }
}

std::unique_ptr<AppendFile> Win32System::OpenForAppend(std::u16string_view path, bool createFolders,
                                                       std::u16string& reason) {
    const std::u16string file(path);
    if (createFolders)
        for (std::size_t slash = file.find_first_of(u"\\/", 3); slash != std::u16string::npos;
             slash = file.find_first_of(u"\\/", slash + 1))
            ::CreateDirectoryW(Wide(file.substr(0, slash)), nullptr);
    HANDLE opened = ::CreateFileW(Wide(file), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL |
                                                  SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        reason = SystemErrorText(::GetLastError());
        return nullptr;
    }
    return std::make_unique<Win32AppendFile>(KernelHandle(opened), file);
}

}  // namespace platform
