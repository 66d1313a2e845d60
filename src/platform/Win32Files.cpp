#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

// An allow or deny entry of any type (plain, callback, object, callback
// object): its SID, mask and kind; nothing for the other entry types. The
// object types hold up to two GUIDs before the SID, as their flags say.
std::optional<AccessEntry> AccessEntryOf(const ACE_HEADER* header) {
    bool allow = false;
    bool object = false;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE: case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: allow = true; break;
    case ACCESS_DENIED_ACE_TYPE: case ACCESS_DENIED_CALLBACK_ACE_TYPE: break;
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: allow = object = true; break;
    case ACCESS_DENIED_OBJECT_ACE_TYPE: case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: object = true; break;
    default: return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(header);
    DWORD mask = 0;
    std::memcpy(&mask, bytes + sizeof(ACE_HEADER), sizeof mask);
    std::size_t sidOffset = sizeof(ACE_HEADER) + sizeof(DWORD);
    if (object) {
        DWORD flags = 0;
        std::memcpy(&flags, bytes + sidOffset, sizeof flags);
        sidOffset += sizeof(DWORD) + ((flags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0) +
                     ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0);
    }
    if (sidOffset + 8 > header->AceSize) return std::nullopt;
    return AccessEntry{allow, SidText(const_cast<BYTE*>(bytes + sidOffset)), mask, false};
}

std::u16string Owned(const wchar_t* s) { return s ? FromWide(s, wcslen(s)) : std::u16string(); }

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

// Renames the file or folder (or link) that `handle` has open.
bool RenameOpened(HANDLE handle, std::u16string_view to, bool replace, std::u16string& reason) {
    const std::u16string target(to);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + (target.size() + 1) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, target.c_str(), target.size() * sizeof(wchar_t));
    if (!::SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

// Switches on a privilege the process's token holds (an administrator's
// token holds taking ownership and restoring files, switched off).
void EnablePrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    const KernelHandle owned(token);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
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
        if (auto entry = AccessEntryOf(header)) {
            entry->inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
            facts.access.push_back(std::move(*entry));
        }
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
        return RenameOpened(renaming.get(), to, true, reason);
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

bool Win32Files::FileExists(std::u16string_view path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(std::u16string(path)));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string Win32Files::FullPath(std::u16string_view path) { return FullPathOf(std::u16string(path)); }

PathFacts Win32Files::Examine(std::u16string_view path) {
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

bool Win32Files::CreateFolder(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) {
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

bool Win32Files::SetFolderSecurity(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) {
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

bool Win32Files::TakeOver(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) {
    const Descriptor sd(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!sd.get() || !::GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted)) {
        reason = SystemErrorText(sd.get() ? ::GetLastError() : sd.error());
        return false;
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    // The owner's rights let an administrator take what grants them nothing.
    EnablePrivilege(L"SeTakeOwnershipPrivilege");
    EnablePrivilege(L"SeRestorePrivilege");
    const std::u16string item(path);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    KernelHandle handle = OpenItself(item, READ_CONTROL | WRITE_OWNER | WRITE_DAC | FILE_READ_ATTRIBUTES, share);
    const bool both = static_cast<bool>(handle);
    if (!handle) handle = OpenItself(item, READ_CONTROL | WRITE_OWNER | FILE_READ_ATTRIBUTES, share);
    if (!handle) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    PathFacts facts;
    FactsOfHandle(handle.get(), item, facts);
    if (facts.redirected) {
        reason = u"it is a link";
        return false;
    }
    DWORD error = ::SetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, administrators,
                                    nullptr, nullptr, nullptr);
    if (error == ERROR_SUCCESS && !both) {
        // Now its owner's: the right to change its DACL comes with that.
        handle = OpenItself(item, READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES, share);
        error = handle ? ERROR_SUCCESS : ::GetLastError();
    }
    if (error == ERROR_SUCCESS)
        error = ::SetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  dacl, nullptr);
    if (error != ERROR_SUCCESS) {
        reason = SystemErrorText(error);
        return false;
    }
    return true;
}

namespace {

// Opens what is at `path` itself to delete or rename it; nothing when the
// system opened something else: Wine 8 opens a link's target even when
// asked for the link, and deleting through that handle would delete the
// target.
KernelHandle OpenToDeleteItself(const std::u16string& path, std::u16string& reason) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path));
    KernelHandle handle =
        OpenItself(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!handle) {
        reason = SystemErrorText(::GetLastError());
        return handle;
    }
    PathFacts facts;
    FactsOfHandle(handle.get(), path, facts);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool linkAsked = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const bool linkOpened = ::GetFileInformationByHandle(handle.get(), &info) &&
                            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (linkAsked != linkOpened || (!linkOpened && facts.redirected)) {
        reason = u"the system opened what it points to instead of the link itself";
        handle.reset();
    }
    return handle;
}

}  // namespace

bool Win32Files::RemoveItself(std::u16string_view path, std::u16string& reason) {
    const KernelHandle handle = OpenToDeleteItself(std::u16string(path), reason);
    if (!handle) return false;
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

bool Win32Files::MoveItself(std::u16string_view path, std::u16string_view to, std::u16string& reason) {
    const KernelHandle handle = OpenToDeleteItself(std::u16string(path), reason);
    return handle && RenameOpened(handle.get(), to, false, reason);
}

std::optional<std::vector<std::u16string>> Win32Files::FolderEntries(std::u16string_view path) {
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

LockAttempt Win32Files::TakeLock(std::u16string_view path, std::u16string_view descriptor,
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
        HANDLE h = ::CreateFileW(Wide(file), GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, &attributes, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            KernelHandle handle(h);
            attempt.facts.exists = true;
            FactsOfHandle(handle.get(), file, attempt.facts);
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

std::unique_ptr<AppendFile> Win32Files::OpenForAppend(std::u16string_view path, std::u16string& reason) {
    const std::u16string file(path);
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

LockAttempt Win32Files::TakeAdministratorsLock(std::u16string_view name) {
    LockAttempt attempt;
    const Kernel32Api& api = Kernel32();
    if (!api.CreateBoundaryDescriptorW || !api.AddSIDToBoundaryDescriptor || !api.CreatePrivateNamespaceW ||
        !api.OpenPrivateNamespaceW || !api.ClosePrivateNamespace || !api.DeleteBoundaryDescriptor) {
        attempt.reason = u"this system has no private namespaces";
        return attempt;
    }
    class Held : public HeldLock {
    public:
        explicit Held(const Kernel32Api& api) : api_(api) {}
        ~Held() override {
            if (mutex) {
                if (owned) ::ReleaseMutex(mutex.get());
                mutex.reset();
            }
            if (space) api_.ClosePrivateNamespace(space, 0);
            if (boundary) api_.DeleteBoundaryDescriptor(boundary);
        }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
        const Kernel32Api& api_;
        HANDLE boundary = nullptr;
        HANDLE space = nullptr;
        KernelHandle mutex;
        bool owned = false;
    };
    auto held = std::make_unique<Held>(api);
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    held->boundary = api.CreateBoundaryDescriptorW(L"PortSetup", 0);
    if (!held->boundary || !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !api.AddSIDToBoundaryDescriptor(&held->boundary, administrators)) {
        attempt.reason = SystemErrorText(::GetLastError());
        return attempt;
    }
    const Descriptor sd(u"D:P(A;;GA;;;SY)(A;;GA;;;BA)");
    SECURITY_ATTRIBUTES attributes{sizeof attributes, sd.get(), FALSE};
    held->space = api.CreatePrivateNamespaceW(&attributes, held->boundary, L"PortSetup");
    if (!held->space && ::GetLastError() == ERROR_ALREADY_EXISTS)
        held->space = api.OpenPrivateNamespaceW(held->boundary, L"PortSetup");
    if (!held->space) {
        attempt.reason = u"no private namespace (" + SystemErrorText(::GetLastError()) + u")";
        return attempt;
    }
    held->mutex.reset(::CreateMutexW(&attributes, FALSE, Wide(u"PortSetup\\" + std::u16string(name))));
    if (!held->mutex) {
        attempt.reason = SystemErrorText(::GetLastError());
        return attempt;
    }
    const DWORD waited = ::WaitForSingleObject(held->mutex.get(), 0);
    if (waited == WAIT_TIMEOUT) {
        attempt.outcome = LockAttempt::Outcome::HeldElsewhere;
        return attempt;
    }
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        attempt.reason = SystemErrorText(::GetLastError());
        return attempt;
    }
    held->owned = true;
    attempt.outcome = LockAttempt::Outcome::Taken;
    attempt.lock = std::move(held);
    return attempt;
}

std::optional<std::string> Win32Files::ReadSmallFile(std::u16string_view path, std::size_t limit,
                                                     std::u16string& reason) {
    HANDLE opened = ::CreateFileW(Wide(std::u16string(path)), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const KernelHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
        reason = u"it is larger than expected";
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    return bytes;
}

bool Win32Files::CopyFileTo(std::u16string_view from, std::u16string_view to, std::u16string& reason) {
    const std::u16string target(to);
    const DWORD attributes = ::GetFileAttributesW(Wide(target));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        reason = target + u" is a link";
        return false;
    }
    if (!::CopyFileW(Wide(std::u16string(from)), Wide(target), FALSE)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace platform
