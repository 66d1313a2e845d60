#include "cli/FileSafety.h"

#include "setup/Text.h"

#include <algorithm>
#include <array>

namespace cli {

namespace {

constexpr std::array<std::u16string_view, 3> kTrustedAccounts = {
    u"S-1-5-18",      // SYSTEM
    u"S-1-5-32-544",  // Administrators
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

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

bool Present(const platform::PathFacts& facts) { return facts.exists || facts.redirected; }

// `text`, then the reason in parentheses.
std::u16string WithReason(std::u16string text, std::u16string_view reason) {
    text += u" (";
    text += reason;
    text += u")";
    return text;
}

// A free name beside `path` for what is moved out of the way.
std::u16string AsideName(platform::Files& files, const std::u16string& path) {
    for (std::uint64_t n = 1; n < 100; ++n) {
        std::u16string candidate = path + u".moved-aside" + (n == 1 ? u"" : u"-" + setup::Number(n));
        if (!Present(files.Examine(candidate))) return candidate;
    }
    return path + u".moved-aside";
}

// Removes a link as a link; where the system cannot, moves it aside.
bool ClearLink(platform::Files& files, const std::u16string& path, std::vector<std::u16string>& done,
               std::u16string& reason) {
    // Counted only once the name is gone: a removal the system accepts can
    // still leave it (Wine keeps a link to a folder).
    if (files.RemoveItself(path, reason) && !Present(files.Examine(path))) {
        done.push_back(u"removed the link " + path + u" (not its target)");
        return true;
    }
    const std::u16string aside = AsideName(files, path);
    if (!files.MoveItself(path, aside, reason)) return false;
    done.push_back(u"moved the link " + path + u" aside to " + aside);
    return true;
}

// Removes what someone else made: a folder is taken over first, so that
// its maker can no longer swap what it holds for links, then emptied the
// same way; links inside go as links.
bool RemoveTree(platform::Files& files, const std::u16string& path, const platform::PathFacts& facts,
                std::u16string& reason) {
    if (facts.directory && !facts.redirected) {
        if (!files.TakeOver(path, kMachineFolderDescriptor, reason)) return false;
        const auto entries = files.FolderEntries(path);
        if (!entries) {
            reason = u"its entries could not be read";
            return false;
        }
        for (const auto& name : *entries) {
            const std::u16string child = Within(path, name);
            if (!RemoveTree(files, child, files.Examine(child), reason)) return false;
        }
    }
    return files.RemoveItself(path, reason);
}

// Takes back, inside a folder of the machine's, every link and everything
// another account owns; says what it did, and what it could not.
void SweepFolder(platform::Files& files, const std::u16string& folder, std::u16string_view self,
                 std::vector<std::u16string>& done) {
    const auto entries = files.FolderEntries(folder);
    if (!entries) return;
    for (const auto& name : *entries) {
        const std::u16string path = Within(folder, name);
        const platform::PathFacts facts = files.Examine(path);
        std::u16string reason;
        if (facts.redirected) {
            if (!ClearLink(files, path, done, reason))
                done.push_back(WithReason(u"could not remove the link " + path, reason));
        } else if (const auto untrusted = WhyOwnerUntrusted(facts, self); untrusted && facts.securityRead) {
            if (RemoveTree(files, path, facts, reason))
                done.push_back(u"removed " + path + u", which " + facts.owner + u" owned");
            else
                done.push_back(WithReason(u"could not remove " + path + u", which " + facts.owner + u" owns", reason));
        }
    }
}

// Takes back the machine's folder at `folder`: see PrepareMachineFolders.
std::optional<std::u16string> TakeBackFolder(platform::Files& files, const std::u16string& folder,
                                             std::u16string_view self, std::vector<std::u16string>& done) {
    std::u16string reason;
    platform::PathFacts facts = files.Examine(folder);
    if (facts.redirected) {
        if (!ClearLink(files, folder, done, reason))
            return folder + u" is not used: it is a link that could not be removed (" + reason + u")";
        facts = files.Examine(folder);
    } else if (facts.exists && !facts.directory) {
        const std::u16string aside = AsideName(files, folder);
        if (!files.MoveItself(folder, aside, reason))
            return folder + u" is not used: it is a file that could not be moved aside (" + reason + u")";
        done.push_back(u"moved the file " + folder + u" aside to " + aside);
        facts = files.Examine(folder);
    }
    if (!facts.exists && !facts.redirected) {
        // Another run may make it at the same moment: what is there then is checked alike.
        const bool created = files.CreateFolder(folder, kMachineFolderDescriptor, reason);
        facts = files.Examine(folder);
        if (!created && !facts.exists && !facts.redirected) return folder + u" could not be created (" + reason + u")";
    }
    if (facts.directory && !facts.redirected && facts.securityRead && !IsTrustedAccount(facts.owner, self)) {
        const std::u16string owner = facts.owner;
        if (!files.TakeOver(folder, kMachineFolderDescriptor, reason))
            return folder + u" is not used: it is owned by " + owner + u" and could not be taken over (" + reason +
                   u")";
        done.push_back(u"took over " + folder + u", which " + owner + u" owned");
        facts = files.Examine(folder);
    }
    bool fixable = false;
    auto unsafe = WhyFolderUnsafe(facts, self, fixable);
    if (unsafe && fixable) {
        if (!files.SetFolderSecurity(folder, kMachineFolderDescriptor, reason))
            return folder + u" could not be protected (" + reason + u")";
        unsafe = WhyFolderUnsafe(files.Examine(folder), self, fixable);
    }
    if (unsafe) return folder + u" is not used: " + *unsafe;
    SweepFolder(files, folder, self, done);
    return std::nullopt;
}

}  // namespace

bool IsTrustedAccount(std::u16string_view sid, std::u16string_view runningUser) {
    if (sid.empty()) return false;
    return sid == runningUser || std::find(kTrustedAccounts.begin(), kTrustedAccounts.end(), sid) != kTrustedAccounts.end();
}

std::optional<std::u16string> WhyFolderUnsafe(const platform::PathFacts& facts, std::u16string_view runningUser,
                                              bool& fixable) {
    fixable = false;
    if (!facts.exists) return u"it does not exist";
    if (facts.redirected) return u"it is a junction, symbolic link or mount point";
    if (!facts.directory) return u"it is not a folder";
    if (auto untrusted = WhyOwnerUntrusted(facts, runningUser)) return untrusted;
    if (const auto who = WhoElseMay(facts, runningUser, kChangingRights)) {
        fixable = true;
        return u"it lets " + *who + u" change it";
    }
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

platform::LockAttempt TakeCheckedLock(platform::Files& files, std::u16string_view path, std::uint32_t waitMilliseconds,
                                      std::u16string_view runningUser) {
    platform::LockAttempt attempt = files.TakeLock(path, kLockFileDescriptor, waitMilliseconds);
    if (attempt.outcome != platform::LockAttempt::Outcome::Taken) return attempt;
    if (const auto unsafe = WhyOwnFileUnsafe(attempt.facts, runningUser)) {
        attempt.lock.reset();
        attempt.outcome = platform::LockAttempt::Outcome::Failed;
        attempt.reason = std::u16string(path) + u" is not used: " + *unsafe;
    }
    return attempt;
}

std::optional<std::u16string> PrepareGivenLogFolders(platform::Files& files, std::u16string_view path,
                                                     std::u16string_view runningUser) {
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
    if (start == 0) return file + u" is not a full path";
    std::vector<std::u16string> folders{file.substr(0, start)};
    for (std::size_t slash = file.find(u'\\', start); slash != std::u16string::npos; slash = file.find(u'\\', slash + 1))
        folders.push_back(file.substr(0, slash));
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::u16string& folder = folders[i];
        platform::PathFacts facts = files.Examine(folder);
        if (!facts.exists && !facts.redirected) {
            std::u16string reason;
            if (!files.CreateFolder(folder, kMachineFolderDescriptor, reason))
                return WithReason(folder + u" could not be created", reason);
            facts = files.Examine(folder);
        }
        if (const auto unsafe = WhyFolderOnTheWayUnsafe(facts, runningUser, i + 1 == folders.size()))
            return folder + u" is not used: " + *unsafe;
    }
    return std::nullopt;
}

MachineFolders PrepareMachineFolders(platform::Machine& machine, platform::Files& files) {
    MachineFolders folders;
    folders.root = machine.ProgramDataDirectory() + u"\\PortSetup";
    folders.logs = folders.root + u"\\Logs";
    const std::u16string self = machine.RunningUserSid();
    if (auto refused = TakeBackFolder(files, folders.root, self, folders.takenBack)) {
        folders.reason = *refused;
        return folders;
    }
    folders.rootUsable = true;
    if (auto refused = TakeBackFolder(files, folders.logs, self, folders.takenBack)) {
        folders.reason = *refused;
        return folders;
    }
    folders.logsUsable = true;
    return folders;
}

std::optional<std::u16string> WhyPackageChangeable(platform::Files& files, std::u16string_view folder,
                                                   std::u16string_view runningUser) {
    const std::u16string base(folder);
    // The folders above: none may let others replace or redirect the way.
    for (std::size_t slash = base.find(u'\\', 3); slash != std::u16string::npos; slash = base.find(u'\\', slash + 1)) {
        const std::u16string above = base.substr(0, slash);
        if (const auto unsafe = WhyFolderOnTheWayUnsafe(files.Examine(above), runningUser, false))
            return above + u": " + *unsafe;
    }
    // The folder and all it holds: nothing another account owns or may change.
    std::vector<std::u16string> todo{base};
    while (!todo.empty()) {
        const std::u16string path = todo.back();
        todo.pop_back();
        const platform::PathFacts facts = files.Examine(path);
        if (facts.redirected) return path + u": it is a link";
        if (auto untrusted = WhyOwnerUntrusted(facts, runningUser)) return path + u": " + *untrusted;
        if (const auto who = WhoElseMay(facts, runningUser, kChangingRights))
            return path + u": it lets " + *who + u" change it";
        if (!facts.directory) continue;
        const auto entries = files.FolderEntries(path);
        if (!entries) return path + u": its entries could not be read";
        for (const auto& name : *entries) todo.push_back(Within(path, name));
    }
    return std::nullopt;
}

std::optional<std::u16string> CopyPackage(platform::Files& files, std::u16string_view from, std::u16string_view to) {
    const std::u16string target(to);
    std::u16string reason;
    // An earlier copy is replaced whole: none of its files may stay behind.
    const platform::PathFacts old = files.Examine(target);
    if ((old.exists || old.redirected) && !RemoveTree(files, target, old, reason))
        return u"the earlier copy " + target + u" could not be removed (" + reason + u")";
    std::vector<std::pair<std::u16string, std::u16string>> todo{{std::u16string(from), target}};
    while (!todo.empty()) {
        const auto [source, copy] = todo.back();
        todo.pop_back();
        if (!files.CreateFolder(copy, kMachineFolderDescriptor, reason))
            return WithReason(copy + u" could not be created", reason);
        const auto entries = files.FolderEntries(source);
        if (!entries) return source + u": its entries could not be read";
        for (const auto& name : *entries) {
            const platform::PathFacts facts = files.Examine(Within(source, name));
            if (facts.directory && !facts.redirected) {
                todo.emplace_back(Within(source, name), Within(copy, name));
            } else if (!files.CopyFileTo(Within(source, name), Within(copy, name), reason)) {
                return Within(source, name) + u" could not be copied (" + reason + u")";
            }
        }
    }
    return std::nullopt;
}

}  // namespace cli
