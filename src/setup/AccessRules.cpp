#include "setup/AccessRules.h"

#include <algorithm>
#include <array>

namespace setup {

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

}  // namespace

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

}  // namespace setup
