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

std::unique_ptr<AppendFile> Win32Files::OpenForAppend(std::u16string_view path, bool createFolders,
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
