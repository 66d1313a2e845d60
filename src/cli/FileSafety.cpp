#include "cli/FileSafety.h"

#include "setup/Text.h"

#include <algorithm>
#include <array>

namespace cli {

namespace {

using platform::FolderEntry;
using platform::HeldFolder;
using setup::WhyFileUnsafe;
using setup::WhyFolderNotOurs;
using setup::WhyFolderOnTheWayUnsafe;
using setup::WhyOwnFileUnsafe;
using setup::Within;
using setup::WithReason;

bool Listed(const std::vector<FolderEntry>& entries, std::u16string_view name) {
    return std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& e) {
        return e.name.size() == name.size() &&
               std::equal(e.name.begin(), e.name.end(), name.begin(), [](char16_t a, char16_t b) {
                   const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
                   return lower(a) == lower(b);
               });
    });
}

// A free name beside `name` for what is moved out of the way.
std::u16string AsideName(const std::vector<FolderEntry>& entries, std::u16string_view name) {
    for (std::uint64_t n = 1; n < 1000; ++n) {
        std::u16string candidate = std::u16string(name) + u".moved-aside" + (n == 1 ? u"" : u"-" + setup::Number(n));
        if (!Listed(entries, candidate)) return candidate;
    }
    return std::u16string(name) + u".moved-aside";
}

std::u16string KindOf(const FolderEntry& entry) {
    if (entry.redirected) return u"the link";
    return entry.directory ? u"the folder" : u"the file";
}

// The folder `name` in `parent`, made the run's own: see PrepareMachineFolders.
std::unique_ptr<HeldFolder> ClaimFolder(HeldFolder& parent, std::u16string_view name, std::u16string_view self,
                                        std::vector<std::u16string>& done, std::u16string& reason) {
    const std::u16string path = Within(parent.Path(), name);
    const auto entries = parent.Entries(reason);
    if (!entries) {
        reason = WithReason(parent.Path() + u" cannot be listed", reason);
        return nullptr;
    }
    const auto found = std::find_if(entries->begin(), entries->end(), [&](const FolderEntry& e) {
        return Listed({e}, name);
    });
    if (found != entries->end()) {
        std::u16string why;
        if (found->directory && !found->redirected) {
            if (auto folder = parent.OpenFolder(*found, why)) {
                const auto notOurs = WhyFolderNotOurs(folder->Facts(), self);
                if (!notOurs) return folder;
                why = *notOurs;
            }
        } else {
            why = found->redirected ? u"it is a link" : u"it is a file";
        }
        // Someone else's, whatever it holds and whoever holds it open:
        // moved aside whole, as it is, never adopted or emptied.
        const std::u16string aside = AsideName(*entries, name);
        std::u16string moveFailed;
        if (!parent.Rename(*found, aside, moveFailed)) {
            reason = path + u" is not used: " + why + u", and it could not be moved aside (" + moveFailed + u")";
            return nullptr;
        }
        done.push_back(u"moved " + KindOf(*found) + u" " + path + u" aside to " + Within(parent.Path(), aside) +
                       u" (" + why + u")");
    }
    // Made here, exclusively: a name taken again meanwhile is not used.
    auto made = parent.CreateFolder(name, kMachineFolderDescriptor, reason);
    if (!made) {
        reason = WithReason(path + u" could not be made", reason);
        return nullptr;
    }
    if (const auto notOurs = WhyFolderNotOurs(made->Facts(), self)) {
        reason = path + u" is not used: " + *notOurs;
        return nullptr;
    }
    return made;
}

// The file `name` in the run's own `folder`: what is there and is not a
// plain file of the run's own is moved aside; false, with why, when it
// cannot be.
bool ClaimFile(HeldFolder& folder, std::u16string_view name, std::u16string_view self,
               std::vector<std::u16string>& done, std::u16string& reason) {
    std::u16string missing;
    const auto entry = platform::FindEntry(folder, name, missing);
    if (!entry) return true;
    std::optional<std::u16string> why;
    if (entry->redirected) why = u"it is a symbolic link or other reparse point";
    else if (entry->directory) why = u"it is a folder";
    else why = WhyOwnFileUnsafe(folder.EntryFacts(*entry), self);
    if (!why) return true;
    const auto entries = folder.Entries(missing);
    const std::u16string aside = AsideName(entries ? *entries : std::vector<FolderEntry>{}, name);
    const std::u16string path = Within(folder.Path(), name);
    if (!folder.Rename(*entry, aside, reason)) {
        reason = path + u" is not used: " + *why + u", and it could not be moved aside (" + reason + u")";
        return false;
    }
    done.push_back(u"moved " + KindOf(*entry) + u" " + path + u" aside to " + Within(folder.Path(), aside) + u" (" +
                   *why + u")");
    return true;
}

}  // namespace

platform::LockAttempt TakeCheckedLock(platform::HeldFolder& folder, std::u16string_view name,
                                      std::uint32_t waitMilliseconds, std::u16string_view runningUser) {
    platform::LockAttempt attempt = folder.TakeLock(name, kLockFileDescriptor, waitMilliseconds);
    if (attempt.outcome != platform::LockAttempt::Outcome::Taken) return attempt;
    if (const auto unsafe = WhyOwnFileUnsafe(attempt.facts, runningUser)) {
        attempt.lock.reset();
        attempt.outcome = platform::LockAttempt::Outcome::Failed;
        attempt.reason = Within(folder.Path(), name) + u" is not used: " + *unsafe;
    }
    return attempt;
}

std::unique_ptr<HeldFolder> PrepareGivenLogFolder(platform::Files& files, std::u16string_view path,
                                                  std::u16string_view runningUser, std::u16string& reason) {
    const std::u16string file(path);
    // The root: "C:\" or "\\server\share\".
    std::size_t start = 0;
    if (file.size() > 3 && file[1] == u':' && file[2] == u'\\') {
        start = 3;
    } else if (file.rfind(u"\\\\", 0) == 0) {
        const std::size_t share = file.find(u'\\', 2);
        const std::size_t end = share == std::u16string::npos ? share : file.find(u'\\', share + 1);
        if (end != std::u16string::npos) start = end + 1;
    }
    const std::size_t last = file.rfind(u'\\');
    if (start == 0 || last == std::u16string::npos || last + 1 >= file.size() || last < start - 1) {
        reason = file + u" is not a full path to a file";
        return nullptr;
    }
    platform::Files::Opening opened = files.OpenFolder(file.substr(0, start));
    if (!opened.folder) {
        reason = WithReason(file.substr(0, start) + u" cannot be opened", opened.reason);
        return nullptr;
    }
    std::unique_ptr<HeldFolder> folder = std::move(opened.folder);
    for (std::size_t from = start; from < last;) {
        const std::size_t slash = file.find(u'\\', from);
        const std::u16string name = file.substr(from, slash - from);
        const std::u16string here = file.substr(0, slash);
        from = slash + 1;
        std::u16string why;
        const auto entry = platform::FindEntry(*folder, name, why);
        std::unique_ptr<HeldFolder> next;
        if (!entry) next = folder->CreateFolder(name, kMachineFolderDescriptor, why);
        else if (entry->redirected) why = u"it is a junction, symbolic link or mount point";
        else if (!entry->directory) why = u"it is not a folder";
        else next = folder->OpenFolder(*entry, why);
        if (!next) {
            reason = here + u" is not used: ";
            reason += why;
            return nullptr;
        }
        if (const auto unsafe = WhyFolderOnTheWayUnsafe(next->Facts(), runningUser, slash == last)) {
            reason = here + u" is not used: " + *unsafe;
            return nullptr;
        }
        folder = std::move(next);
    }
    return folder;
}

MachineFolders PrepareMachineFolders(platform::System& machine, platform::Files& files) {
    MachineFolders folders;
    const std::u16string programData = machine.ProgramDataDirectory();
    folders.root = programData + u"\\PortSetup";
    folders.logs = folders.root + u"\\Logs";
    const std::u16string self = machine.RunningUserSid();
    platform::Files::Opening opened = files.OpenFolder(programData);
    if (!opened.folder) {
        folders.reason = WithReason(programData + u" cannot be opened", opened.reason);
        return folders;
    }
    folders.rootFolder = ClaimFolder(*opened.folder, u"PortSetup", self, folders.takenBack, folders.reason);
    if (!folders.rootFolder) return folders;
    for (const auto lock : {kSingleRunLockName, kLogLockName})
        ClaimFile(*folders.rootFolder, lock, self, folders.takenBack, folders.reason);
    folders.logsFolder = ClaimFolder(*folders.rootFolder, u"Logs", self, folders.takenBack, folders.reason);
    if (folders.logsFolder && !ClaimFile(*folders.logsFolder, kMachineLogName, self, folders.takenBack, folders.reason))
        folders.logsFolder.reset();
    return folders;
}

}  // namespace cli
