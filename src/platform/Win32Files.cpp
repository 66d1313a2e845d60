#include "platform/Win32Api.h"
#include "platform/Win32FileSecurity.h"
#include "platform/Win32Seams.h"

#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);  // STATUS_OBJECT_NAME_COLLISION
constexpr NTSTATUS kSharingViolation = static_cast<NTSTATUS>(0xC0000043);  // STATUS_SHARING_VIOLATION

std::u16string StatusText(NTSTATUS status) {
    const auto toDos = Ntdll().RtlNtStatusToDosError;
    return SystemErrorText(toDos ? toDos(status) : ERROR_GEN_FAILURE);
}

std::u16string Within(const std::u16string& folder, std::u16string_view name) {
    return (folder.empty() || folder.back() == u'\\' ? folder : folder + u"\\") + std::u16string(name);
}

// Opens `name` relative to the folder `root` (or, without one, the NT path
// `name`), never following a reparse point at its end: the link itself is
// opened where the system can do so.
NTSTATUS OpenRelative(HANDLE root, std::u16string_view name, ACCESS_MASK access, ULONG disposition, ULONG options,
                      ULONG share, PSECURITY_DESCRIPTOR sd, KernelHandle& opened) {
    const auto create = Ntdll().NtCreateFile;
    if (!create) return static_cast<NTSTATUS>(0xC0000002);  // STATUS_NOT_IMPLEMENTED
    std::u16string text(name);
    UNICODE_STRING unicode{static_cast<USHORT>(text.size() * sizeof(wchar_t)),
                           static_cast<USHORT>(text.size() * sizeof(wchar_t)),
                           reinterpret_cast<PWSTR>(text.data())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, root, sd);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const NTSTATUS status = create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   share, disposition,
                                   options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status >= 0) opened.reset(handle);
    return status;
}

// Renames the opened file or folder (or link) to `to` in `folder`.
bool RenameInFolder(HANDLE opened, HANDLE folder, std::u16string_view to, bool replace, std::u16string& reason) {
    const auto set = Ntdll().NtSetInformationFile;
    if (!set) {
        reason = SystemErrorText(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + (to.size() + 1) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, to.data(), to.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = set(opened, &io, rename, static_cast<ULONG>(buffer.size()),
                                static_cast<FILE_INFORMATION_CLASS>(10));  // FileRenameInformation
    if (status < 0) {
        reason = status == kNameCollision ? u"the name is taken" : StatusText(status);
        return false;
    }
    return true;
}

// Whether the opened object is the entry that was listed: the same file
// system number, not a link unless a link was asked for, at the path meant.
// Wine opens a link's target even when asked for the link itself: the
// number and the path tell.
bool IsListed(HANDLE handle, const FolderEntry& entry, const std::u16string& path, std::u16string& reason) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const std::uint64_t id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (entry.redirected != link) {
        reason = entry.redirected ? u"the system opened what it points to instead of the link itself"
                                  : u"it became a link after it was listed";
        return false;
    }
    if (id != entry.id) {
        reason = u"it changed after it was listed";
        return false;
    }
    if (!OpenedAt(handle, path)) {
        reason = u"it leads elsewhere: the system opened what it points to instead of the link itself";
        return false;
    }
    return true;
}

// The log file, opened for appending in its folder.
class Win32AppendFile : public AppendFile {
public:
    Win32AppendFile(KernelHandle handle, HANDLE folder, std::u16string path, std::u16string name)
        : handle_(std::move(handle)), folder_(folder), path_(std::move(path)), name_(std::move(name)) {}

    PathFacts Facts() override {
        PathFacts facts;
        facts.exists = true;
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
    // Through a second handle with the right to rename, opened in the same
    // folder and checked to be the same file: the appending handle lets
    // readers keep the file open.
    bool RenameReplacing(std::u16string_view to, std::u16string& reason) override {
        KernelHandle renaming;
        const NTSTATUS status = OpenRelative(folder_, name_, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN,
                                             FILE_NON_DIRECTORY_FILE, kShareAll, nullptr, renaming);
        if (status < 0) {
            reason = StatusText(status);
            return false;
        }
        BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
        if (!::GetFileInformationByHandle(handle_.get(), &mine) ||
            !::GetFileInformationByHandle(renaming.get(), &theirs) ||
            mine.dwVolumeSerialNumber != theirs.dwVolumeSerialNumber || mine.nFileIndexHigh != theirs.nFileIndexHigh ||
            mine.nFileIndexLow != theirs.nFileIndexLow) {
            reason = u"the file changed while it was written";
            return false;
        }
        return RenameInFolder(renaming.get(), folder_, to, true, reason);
    }

private:
    KernelHandle handle_;
    HANDLE folder_;  // the held folder's, which outlives the file
    std::u16string path_;
    std::u16string name_;
};

class Win32HeldLock : public HeldLock {
public:
    explicit Win32HeldLock(KernelHandle file) : file_(std::move(file)) {}

private:
    KernelHandle file_;
};

class Win32HeldFolder : public HeldFolder {
public:
    Win32HeldFolder(KernelHandle handle, std::u16string path) : handle_(std::move(handle)), path_(std::move(path)) {}

    const std::u16string& Path() const override { return path_; }
    PathFacts Facts() override {
        PathFacts facts;
        facts.exists = true;
        FactsOfHandle(handle_.get(), path_, facts);
        return facts;
    }
    std::optional<std::vector<FolderEntry>> Entries(std::u16string& reason) override;
    PathFacts EntryFacts(const FolderEntry& entry) override {
        PathFacts facts;
        KernelHandle opened;
        facts.exists = true;
        if (!OpenEntry(entry, READ_CONTROL | FILE_READ_ATTRIBUTES, 0, opened, facts.reason)) {
            // Not the entry listed: as good as a link.
            facts.redirected = true;
            return facts;
        }
        FactsOfHandle(opened.get(), Within(path_, entry.name), facts);
        return facts;
    }
    std::unique_ptr<HeldFolder> OpenFolder(const FolderEntry& entry, std::u16string& reason) override {
        KernelHandle opened;
        if (entry.redirected) {
            reason = u"it is a link";
            return nullptr;
        }
        if (!OpenEntry(entry, kFolderAccess, FILE_DIRECTORY_FILE, opened, reason)) return nullptr;
        return std::make_unique<Win32HeldFolder>(std::move(opened), Within(path_, entry.name));
    }
    std::optional<std::string> ReadFile(const FolderEntry& entry, std::uint64_t limit, std::u16string& reason) override;
    std::unique_ptr<HeldFolder> CreateFolder(std::u16string_view name, std::u16string_view descriptor,
                                             std::u16string& reason) override {
        const Descriptor sd(descriptor);
        KernelHandle made;
        const NTSTATUS status = sd.get() ? OpenRelative(handle_.get(), name, kFolderAccess, FILE_CREATE,
                                                        FILE_DIRECTORY_FILE, kShareAll, sd.get(), made)
                                         : static_cast<NTSTATUS>(0xC0000001);
        if (status < 0) {
            reason = sd.get() ? StatusText(status) : SystemErrorText(sd.error());
            return nullptr;
        }
        return std::make_unique<Win32HeldFolder>(std::move(made), Within(path_, name));
    }
    bool CreateFile(std::u16string_view name, std::u16string_view descriptor, std::string_view bytes,
                    std::u16string& reason) override;
    bool Rename(const FolderEntry& entry, std::u16string_view to, std::u16string& reason) override {
        KernelHandle opened;
        return OpenEntry(entry, DELETE | FILE_READ_ATTRIBUTES, 0, opened, reason) &&
               RenameInFolder(opened.get(), handle_.get(), to, false, reason);
    }
    bool Remove(const FolderEntry& entry, std::u16string& reason) override {
        KernelHandle opened;
        if (!OpenEntry(entry, DELETE | FILE_READ_ATTRIBUTES, 0, opened, reason)) return false;
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!::SetFileInformationByHandle(opened.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
            reason = SystemErrorText(::GetLastError());
            return false;
        }
        return true;
    }
    LockAttempt TakeLock(std::u16string_view name, std::u16string_view descriptor, std::uint32_t waitMilliseconds) override;
    std::unique_ptr<AppendFile> OpenForAppend(std::u16string_view name, std::u16string& reason) override {
        KernelHandle opened;
        const NTSTATUS status = OpenRelative(handle_.get(), name,
                                             FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                             FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE, kShareAll, nullptr, opened);
        if (status < 0) {
            reason = StatusText(status);
            return nullptr;
        }
        return std::make_unique<Win32AppendFile>(std::move(opened), handle_.get(), Within(path_, name),
                                                 std::u16string(name));
    }

private:
    // Opens `entry` itself and checks that it is what was listed.
    bool OpenEntry(const FolderEntry& entry, ACCESS_MASK access, ULONG options, KernelHandle& opened,
                   std::u16string& reason) {
        const NTSTATUS status = OpenRelative(handle_.get(), entry.name, access, FILE_OPEN, options, kShareAll, nullptr,
                                             opened);
        if (status < 0) {
            reason = StatusText(status);
            return false;
        }
        if (IsListed(opened.get(), entry, Within(path_, entry.name), reason)) return true;
        opened.reset();
        return false;
    }

    KernelHandle handle_;
    std::u16string path_;
};

std::optional<std::vector<FolderEntry>> Win32HeldFolder::Entries(std::u16string& reason) {
    // Each listing through a handle of its own, opened on this one: Wine
    // keeps a handle's first listing and gives it again on a restart.
    KernelHandle listing;
    const NTSTATUS status =
        OpenRelative(handle_.get(), u"", FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_OPEN, FILE_DIRECTORY_FILE, kShareAll,
                     nullptr, listing);
    if (status < 0) {
        reason = StatusText(status);
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    alignas(8) BYTE buffer[64 * 1024];
    for (bool first = true;; first = false) {
        if (!::GetFileInformationByHandleEx(listing.get(), first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                                            buffer, sizeof buffer)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_FILES) return entries;
            reason = SystemErrorText(error);
            return std::nullopt;
        }
        for (std::size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
            std::u16string name = FromWide(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != u"." && name != u"..")
                entries.push_back({std::move(name), (info->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                   (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                                   static_cast<std::uint64_t>(info->EndOfFile.QuadPart),
                                   static_cast<std::uint64_t>(info->FileId.QuadPart)});
            if (info->NextEntryOffset == 0) break;
            offset += info->NextEntryOffset;
        }
    }
}

std::optional<std::string> Win32HeldFolder::ReadFile(const FolderEntry& entry, std::uint64_t limit,
                                                     std::u16string& reason) {
    KernelHandle opened;
    if (entry.redirected) {
        reason = u"it is a link";
        return std::nullopt;
    }
    if (!OpenEntry(entry, FILE_READ_DATA | FILE_READ_ATTRIBUTES, FILE_NON_DIRECTORY_FILE, opened, reason))
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandle(opened.get(), &info) || !::GetFileSizeEx(opened.get(), &size)) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    if (info.nNumberOfLinks != 1) {
        reason = u"it has more than one name (a hard link)";
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) {
        const std::string bytes = std::to_string(limit);
        reason = u"it is larger than " + std::u16string(bytes.begin(), bytes.end()) + u" bytes";
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!::ReadFile(opened.get(), bytes.data() + done, chunk, &read, nullptr) || read == 0) {
            reason = read == 0 ? u"it changed while it was read" : SystemErrorText(::GetLastError());
            return std::nullopt;
        }
        done += read;
    }
    return bytes;
}

bool Win32HeldFolder::CreateFile(std::u16string_view name, std::u16string_view descriptor, std::string_view bytes,
                                 std::u16string& reason) {
    const Descriptor sd(descriptor);
    if (!sd.get()) {
        reason = SystemErrorText(sd.error());
        return false;
    }
    KernelHandle made;
    const NTSTATUS status = OpenRelative(handle_.get(), name, FILE_WRITE_DATA | DELETE, FILE_CREATE,
                                         FILE_NON_DIRECTORY_FILE, 0, sd.get(), made);
    if (status < 0) {
        reason = StatusText(status);
        return false;
    }
    for (std::size_t done = 0; done < bytes.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!::WriteFile(made.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            reason = SystemErrorText(::GetLastError());
            // No half-written file stays.
            FILE_DISPOSITION_INFO disposition{TRUE};
            ::SetFileInformationByHandle(made.get(), FileDispositionInfo, &disposition, sizeof disposition);
            return false;
        }
        done += written;
    }
    return true;
}

LockAttempt Win32HeldFolder::TakeLock(std::u16string_view name, std::u16string_view descriptor,
                                      std::uint32_t waitMilliseconds) {
    LockAttempt attempt;
    const Descriptor sd(descriptor);
    if (!sd.get()) {
        attempt.reason = SystemErrorText(sd.error());
        return attempt;
    }
    const ULONGLONG until = ::GetTickCount64() + waitMilliseconds;
    for (;;) {
        // No sharing: while this handle is open no other process can open the file.
        KernelHandle handle;
        const NTSTATUS status = OpenRelative(handle_.get(), name, GENERIC_READ | GENERIC_WRITE | READ_CONTROL,
                                             FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE, 0, sd.get(), handle);
        if (status >= 0) {
            attempt.facts.exists = true;
            FactsOfHandle(handle.get(), Within(path_, name), attempt.facts);
            attempt.outcome = LockAttempt::Outcome::Taken;
            attempt.lock = std::make_unique<Win32HeldLock>(std::move(handle));
            return attempt;
        }
        if (status != kSharingViolation) {
            attempt.reason = StatusText(status);
            return attempt;
        }
        if (::GetTickCount64() >= until) {
            attempt.outcome = LockAttempt::Outcome::HeldElsewhere;
            return attempt;
        }
        ::Sleep(50);
    }
}

// The root of a full path: "C:\" or "\\server\share\", and its NT form.
bool RootOf(const std::u16string& path, std::u16string& root, std::u16string& ntRoot) {
    if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') {
        root = path.substr(0, 3);
        ntRoot = u"\\??\\" + root;
        return true;
    }
    if (path.rfind(u"\\\\", 0) != 0 || path.rfind(u"\\\\?\\", 0) == 0 || path.rfind(u"\\\\.\\", 0) == 0) return false;
    const std::size_t share = path.find(u'\\', 2);
    if (share == std::u16string::npos) return false;
    const std::size_t end = path.find(u'\\', share + 1);
    root = (end == std::u16string::npos ? path : path.substr(0, end)) + u"\\";
    ntRoot = u"\\??\\UNC\\" + root.substr(2);
    return true;
}

bool SameName(const std::u16string& a, std::u16string_view b) {
    return ::CompareStringOrdinal(Wide(a), static_cast<int>(a.size()), reinterpret_cast<const wchar_t*>(b.data()),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

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
    HANDLE h = ::CreateFileW(Wide(given), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const KernelHandle handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
    if (!handle) {
        facts.reason = SystemErrorText(::GetLastError());
        return facts;
    }
    FactsOfHandle(handle.get(), given, facts);
    return facts;
}

// From the volume's root down, each folder found in its parent's listing
// and opened relative to it as the entry that was listed.
Files::Opening Win32Files::OpenFolder(std::u16string_view path) {
    Opening opening;
    const std::u16string full = FullPathOf(std::u16string(path));
    std::u16string root, ntRoot;
    if (!RootOf(full, root, ntRoot)) {
        opening.reason = full + u" is not a full path";
        return opening;
    }
    KernelHandle handle;
    const NTSTATUS status =
        OpenRelative(nullptr, ntRoot, kFolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE, kShareAll, nullptr, handle);
    if (status < 0) {
        opening.reason = root + u": " + StatusText(status);
        return opening;
    }
    auto folder = std::make_unique<Win32HeldFolder>(std::move(handle), root);
    for (std::size_t from = root.size(); from < full.size();) {
        std::size_t slash = full.find(u'\\', from);
        if (slash == std::u16string::npos) slash = full.size();
        const std::u16string_view name = std::u16string_view(full).substr(from, slash - from);
        from = slash + 1;
        if (name.empty()) continue;
        std::u16string reason;
        const auto entries = folder->Entries(reason);
        if (!entries) {
            opening.reason = folder->Path() + u": " + reason;
            return opening;
        }
        const FolderEntry* found = nullptr;
        for (const FolderEntry& entry : *entries)
            if (SameName(entry.name, name)) found = &entry;
        const std::u16string here = Within(folder->Path(), found ? std::u16string_view(found->name) : name);
        if (!found || !found->directory) {
            opening.reason = found ? here + u" is not a folder" : SystemErrorText(ERROR_PATH_NOT_FOUND);
            return opening;
        }
        if (found->redirected) {
            opening.link = true;
            opening.reason = here + u" is a junction, symbolic link or mount point";
            return opening;
        }
        auto next = folder->OpenFolder(*found, reason);
        if (!next) {
            opening.link = true;
            opening.reason = here + u": " + reason;
            return opening;
        }
        folder.reset(static_cast<Win32HeldFolder*>(next.release()));
    }
    opening.folder = std::move(folder);
    return opening;
}

}  // namespace platform
