#include "setup/PackageTrust.h"

#include "setup/AccessRules.h"
#include "setup/ExitCodes.h"
#include "setup/Text.h"

namespace setup {

namespace {

using platform::FolderEntry;
using platform::HeldFolder;

constexpr std::u16string_view kPackageCopyName = u"Package";

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

PackageFolderChoice ChoosePackageFolder(platform::Files& files, std::u16string_view folder,
                                        std::u16string_view runningUser, PackageCopier* copier) {
    using Kind = PackageFolderChoice::Kind;
    PackageFolderChoice choice;
    choice.directory = std::u16string(folder);
    if (!files.Examine(folder).exists) {
        choice.kind = Kind::Missing;
        return choice;
    }
    PackageExamination package = ExaminePackage(files, folder, runningUser);
    choice.why = package.why;
    if (package.verdict == PackageExamination::Verdict::Refused) {
        choice.exitCode = package.link ? kExitPackageHasLinks : kExitPackageNotUsable;
        return choice;
    }
    if (package.verdict == PackageExamination::Verdict::Trusted) {
        choice.kind = Kind::AsItIs;
        return choice;
    }
    if (!copier) {
        choice.kind = Kind::Changeable;
        return choice;
    }
    std::u16string copy;
    if (const auto failed = copier->Copy(*package.folder, copy)) {
        choice.exitCode = kExitPackageNotUsable;
        choice.copyFailure = *failed;
        return choice;
    }
    choice.kind = Kind::Copied;
    choice.directory = copy;
    return choice;
}

void RemovePackageCopy(platform::HeldFolder& machineRoot) {
    std::u16string ignored;
    if (const auto made = platform::FindEntry(machineRoot, kPackageCopyName, ignored))
        RemoveTree(machineRoot, *made, ignored);
}

}  // namespace setup
