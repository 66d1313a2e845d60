#include "cli/FileSafety.h"

#include <algorithm>
#include <array>

namespace cli {

namespace {

constexpr std::array<std::u16string_view, 3> kTrustedAccounts = {
    u"S-1-5-18",      // SYSTEM
    u"S-1-5-32-544",  // Administrators
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

// Users, Authenticated Users, Everyone, Interactive.
constexpr std::array<std::u16string_view, 4> kNonAdministrators = {u"S-1-5-32-545", u"S-1-5-11", u"S-1-1-0",
                                                                    u"S-1-5-4"};

bool Grants(const platform::AccessEntry& entry) {
    return entry.allow && !entry.inheritOnly && (entry.mask & kChangingRights) != 0;
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
    if (!facts.securityRead) return u"its security could not be read (" + facts.reason + u")";
    if (!IsTrustedAccount(facts.owner, runningUser))
        return u"it is owned by " + facts.owner + u", not by SYSTEM, Administrators or the account of this run";
    fixable = true;
    if (facts.nullDacl) return u"it lets everyone change it";
    for (const auto& entry : facts.access)
        if (Grants(entry) && !IsTrustedAccount(entry.sid, runningUser)) return u"it lets " + entry.sid + u" change it";
    fixable = false;
    return std::nullopt;
}

std::optional<std::u16string> WhyFileUnsafe(const platform::PathFacts& facts) {
    if (facts.redirected) return u"it is a symbolic link or other reparse point";
    if (facts.directory) return u"it is a folder";
    if (facts.links != 1) return u"it has more than one name (a hard link)";
    return std::nullopt;
}

MachineFolders PrepareMachineFolders(platform::Machine& machine, platform::Files& files) {
    MachineFolders folders;
    folders.root = machine.ProgramDataDirectory() + u"\\PortSetup";
    folders.logs = folders.root + u"\\Logs";
    const std::u16string self = machine.RunningUserSid();
    for (bool* usable : {&folders.rootUsable, &folders.logsUsable}) {
        const std::u16string& folder = usable == &folders.rootUsable ? folders.root : folders.logs;
        std::u16string reason;
        platform::PathFacts facts = files.Examine(folder);
        if (!facts.exists && !facts.redirected) {
            // Another run may make it at the same moment: what is there then is checked alike.
            const bool created = files.CreateFolder(folder, kMachineFolderDescriptor, reason);
            facts = files.Examine(folder);
            if (!created && !facts.exists && !facts.redirected) {
                folders.reason = folder + u" could not be created (";
                folders.reason += reason + u")";
                return folders;
            }
        }
        bool fixable = false;
        auto unsafe = WhyFolderUnsafe(facts, self, fixable);
        if (unsafe && fixable) {
            if (!files.SetFolderSecurity(folder, kMachineFolderDescriptor, reason)) {
                folders.reason = folder + u" could not be protected (";
                folders.reason += reason + u")";
                return folders;
            }
            unsafe = WhyFolderUnsafe(files.Examine(folder), self, fixable);
        }
        if (unsafe) {
            folders.reason = folder + u" is not used: " + *unsafe;
            return folders;
        }
        *usable = true;
    }
    return folders;
}

std::vector<std::u16string> ChangeableByUsers(platform::Files& files, std::u16string_view folder) {
    std::vector<std::u16string> found;
    auto check = [&](const std::u16string& path) {
        const platform::PathFacts facts = files.Examine(path);
        if (!facts.exists || !facts.securityRead) return;
        bool changeable = facts.nullDacl;
        for (const auto& entry : facts.access)
            if (Grants(entry) &&
                std::find(kNonAdministrators.begin(), kNonAdministrators.end(), entry.sid) != kNonAdministrators.end())
                changeable = true;
        if (changeable) found.push_back(path);
    };
    const std::u16string base(folder);
    check(base);
    if (const auto entries = files.FolderEntries(base))
        for (const auto& name : *entries) check(std::u16string(base).append(u"\\").append(name));
    return found;
}

}  // namespace cli
