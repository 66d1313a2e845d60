#include "cli/FileSafety.h"

#include "setup/Text.h"

#include <algorithm>
#include <array>

namespace cli {

namespace {

using platform::FolderEntry;
using platform::HeldFolder;

constexpr std::array<std::u16string_view, 3> kTrustedAccounts = {
    u"S-1-5-18",      // SYSTEM
    u"S-1-5-32-544",  // Administrators
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

constexpr std::u16string_view kPackageCopyName = u"Package";

// Adding a file or a folder, and writing the attributes: harmless in a
// folder that already holds what comes next on the way, since what exists
// there cannot be replaced without the rights to delete.
constexpr std::uint32_t kAddingRights = 0x0002u | 0x0004u | 0x0100u;

// Whom else the entries let do any of `rights`; nothing when no one.
std::optional<std::u16string> WhoElseMay(const platform::PathFacts& facts, std::u16string_view runningUser,
                                         std::uint32_t rights) {
    if (facts.nullDacl) return u"everyone";
    for (const auto& entry : facts.access)
        if (entry.allow && !entry.inheritOnly && (entry.mask & rights) != 0 && !IsTrustedAccount(entry.sid, runningUser))
            return entry.sid;
    return std::nullopt;
}

std::optional<std::u16string> WhyOwnerUntrusted(const platform::PathFacts& facts, std::u16string_view runningUser) {
    if (!facts.securityRead) return u"its security could not be read (" + facts.reason + u")";
    if (!IsTrustedAccount(facts.owner, runningUser))
        return u"it is owned by " + facts.owner + u", not by SYSTEM, Administrators or the account of this run";
    return std::nullopt;
}

std::u16string Within(std::u16string_view folder, std::u16string_view name) {
    return std::u16string(folder).append(u"\\").append(name);
}

// `text`, then the reason in parentheses.
std::u16string WithReason(std::u16string text, std::u16string_view reason) {
    text += u" (";
    text += reason;
    text += u")";
    return text;
}

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

// Removes an earlier copy inside the run's own folder, entry by entry,
// each opened as listed: a link goes as a link, never its target.
bool RemoveTree(HeldFolder& parent, const FolderEntry& entry, std::u16string& reason) {
    if (entry.directory && !entry.redirected) {
        auto folder = parent.OpenFolder(entry, reason);
        if (!folder) return false;
        const auto entries = folder->Entries(reason);
        if (!entries) return false;
        for (const FolderEntry& child : *entries)
            if (!RemoveTree(*folder, child, reason)) return false;
        // Let go first: a folder goes when its last handle is closed.
        folder.reset();
    }
    return parent.Remove(entry, reason);
}

// Copies what `from` holds into `to`, counting against the limits.
std::optional<std::u16string> CopyInto(HeldFolder& from, HeldFolder& to, std::uint64_t& bytes, std::size_t& count) {
    std::u16string reason;
    const auto entries = from.Entries(reason);
    if (!entries) return WithReason(from.Path() + u" cannot be listed", reason);
    for (const FolderEntry& entry : *entries) {
        const std::u16string source = Within(from.Path(), entry.name);
        if (++count > kPackageLimitEntries)
            return u"it holds more than " + setup::Number(kPackageLimitEntries) + u" files and folders";
        if (entry.redirected) return source + u" is a link";
        if (entry.directory) {
            auto sub = from.OpenFolder(entry, reason);
            if (!sub) return WithReason(source + u" cannot be opened", reason);
            auto made = to.CreateFolder(entry.name, kPackageCopyDescriptor, reason);
            if (!made) return WithReason(Within(to.Path(), entry.name) + u" could not be made", reason);
            if (auto failed = CopyInto(*sub, *made, bytes, count)) return failed;
            continue;
        }
        const auto content = from.ReadFile(entry, kPackageLimitBytes - bytes, reason);
        if (!content) return WithReason(source + u" cannot be read", reason);
        bytes += content->size();
        if (!to.CreateFile(entry.name, kPackageCopyDescriptor, *content, reason))
            return WithReason(Within(to.Path(), entry.name) + u" could not be written", reason);
    }
    return std::nullopt;
}

// Whether anything in `folder` is a link or has several names, and whether
// anyone else could change any of it; the first finding, with its path.
struct TreeFinding {
    bool refused = false;
    bool link = false;
    std::u16string why;  // empty: nothing found
};
TreeFinding ExamineTree(HeldFolder& folder, std::u16string_view self, std::size_t& count) {
    std::u16string reason;
    TreeFinding changeable;
    if (const auto who = WhoElseMay(folder.Facts(), self, kChangingRights))
        changeable.why = folder.Path() + u": it lets " + *who + u" change it";
    else if (const auto untrusted = WhyOwnerUntrusted(folder.Facts(), self))
        changeable.why = folder.Path() + u": " + *untrusted;
    const auto entries = folder.Entries(reason);
    if (!entries) return {true, false, WithReason(folder.Path() + u" cannot be listed", reason)};
    for (const FolderEntry& entry : *entries) {
        const std::u16string path = Within(folder.Path(), entry.name);
        if (++count > kPackageLimitEntries)
            return {true, false, folder.Path() + u" holds more than " + setup::Number(kPackageLimitEntries) +
                                     u" files and folders"};
        if (entry.redirected) return {true, true, path + u": it is a link"};
        if (entry.directory) {
            auto sub = folder.OpenFolder(entry, reason);
            if (!sub) return {true, true, WithReason(path + u": it cannot be opened", reason)};
            TreeFinding inner = ExamineTree(*sub, self, count);
            if (inner.refused) return inner;
            if (changeable.why.empty()) changeable.why = inner.why;
            continue;
        }
        const platform::PathFacts facts = folder.EntryFacts(entry);
        if (facts.redirected) return {true, true, path + u": it is a link"};
        if (facts.links != 1) return {true, true, path + u": it has more than one name (a hard link)"};
        if (!facts.securityRead) return {true, false, path + u": " + facts.reason};
        if (!changeable.why.empty()) continue;
        if (const auto untrusted = WhyOwnerUntrusted(facts, self)) changeable.why = path + u": " + *untrusted;
        else if (const auto who = WhoElseMay(facts, self, kChangingRights))
            changeable.why = path + u": it lets " + *who + u" change it";
    }
    return changeable;
}

}  // namespace

bool IsTrustedAccount(std::u16string_view sid, std::u16string_view runningUser) {
    if (sid.empty()) return false;
    return sid == runningUser || std::find(kTrustedAccounts.begin(), kTrustedAccounts.end(), sid) != kTrustedAccounts.end();
}

std::optional<std::u16string> WhyFolderNotOurs(const platform::PathFacts& facts, std::u16string_view runningUser) {
    if (!facts.exists) return u"it does not exist";
    if (facts.redirected) return u"it is a junction, symbolic link or mount point";
    if (!facts.directory) return u"it is not a folder";
    if (auto untrusted = WhyOwnerUntrusted(facts, runningUser)) return untrusted;
    if (const auto who = WhoElseMay(facts, runningUser, kChangingRights)) return u"it lets " + *who + u" change it";
    return std::nullopt;
}

std::optional<std::u16string> WhyFileUnsafe(const platform::PathFacts& facts) {
    if (facts.redirected) return u"it is a symbolic link or other reparse point";
    if (facts.directory) return u"it is a folder";
    if (facts.links != 1) return u"it has more than one name (a hard link)";
    return std::nullopt;
}

std::optional<std::u16string> WhyOwnFileUnsafe(const platform::PathFacts& facts, std::u16string_view runningUser) {
    if (auto unsafe = WhyFileUnsafe(facts)) return unsafe;
    if (auto untrusted = WhyOwnerUntrusted(facts, runningUser)) return untrusted;
    if (const auto who = WhoElseMay(facts, runningUser, kChangingRights)) return u"it lets " + *who + u" change it";
    return std::nullopt;
}

std::optional<std::u16string> WhyFolderOnTheWayUnsafe(const platform::PathFacts& facts, std::u16string_view runningUser,
                                                      bool holdsTheFile) {
    if (!facts.exists) return u"it does not exist";
    if (facts.redirected) return u"it is a junction, symbolic link or mount point";
    if (!facts.directory) return u"it is not a folder";
    if (auto untrusted = WhyOwnerUntrusted(facts, runningUser)) return untrusted;
    const std::uint32_t rights = holdsTheFile ? kChangingRights : kChangingRights & ~kAddingRights;
    if (const auto who = WhoElseMay(facts, runningUser, rights)) return u"it lets " + *who + u" change it";
    return std::nullopt;
}

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

PackageExamination ExaminePackage(platform::Files& files, std::u16string_view folder, std::u16string_view runningUser) {
    PackageExamination result;
    const std::u16string base(folder);
    // The folders above, each reached without a link: none may let others
    // replace or redirect the way.
    std::u16string changeable;
    for (std::size_t slash = base.find(u'\\', 3); slash != std::u16string::npos; slash = base.find(u'\\', slash + 1)) {
        const std::u16string above = base.substr(0, slash);
        platform::Files::Opening opened = files.OpenFolder(above);
        if (!opened.folder) {
            result.link = opened.link;
            result.why = above + u": " + opened.reason;
            return result;
        }
        if (const auto unsafe = WhyFolderOnTheWayUnsafe(opened.folder->Facts(), runningUser, false);
            unsafe && changeable.empty())
            changeable = above + u": " + *unsafe;
    }
    platform::Files::Opening opened = files.OpenFolder(base);
    if (!opened.folder) {
        result.link = opened.link;
        result.why = base + u": " + opened.reason;
        return result;
    }
    std::size_t count = 0;
    const TreeFinding inside = ExamineTree(*opened.folder, runningUser, count);
    if (inside.refused) {
        result.link = inside.link;
        result.why = inside.why;
        return result;
    }
    if (changeable.empty()) changeable = inside.why;
    result.verdict = changeable.empty() ? PackageExamination::Verdict::Trusted : PackageExamination::Verdict::Changeable;
    result.why = changeable;
    result.folder = std::move(opened.folder);
    return result;
}

std::optional<std::u16string> CopyPackage(platform::HeldFolder& from, platform::HeldFolder& machineRoot,
                                          std::u16string& copyPath) {
    const std::u16string_view kCopy = kPackageCopyName;
    copyPath = Within(machineRoot.Path(), kCopy);
    std::u16string reason;
    // An earlier copy is replaced whole: none of its files may stay behind.
    // It is the run's own, inside the run's own folder.
    if (const auto old = platform::FindEntry(machineRoot, kCopy, reason); old && !RemoveTree(machineRoot, *old, reason))
        return WithReason(u"the earlier copy " + copyPath + u" could not be removed", reason);
    auto copy = machineRoot.CreateFolder(kCopy, kPackageCopyDescriptor, reason);
    if (!copy) return WithReason(copyPath + u" could not be made", reason);
    std::uint64_t bytes = 0;
    std::size_t count = 0;
    auto failed = CopyInto(from, *copy, bytes, count);
    if (!failed) return std::nullopt;
    // No partial copy stays behind.
    copy.reset();
    RemovePackageCopy(machineRoot);
    return failed;
}

void RemovePackageCopy(platform::HeldFolder& machineRoot) {
    std::u16string ignored;
    if (const auto made = platform::FindEntry(machineRoot, kPackageCopyName, ignored))
        RemoveTree(machineRoot, *made, ignored);
}

}  // namespace cli
