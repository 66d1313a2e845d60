#include "platform/Seams.h"

namespace platform {

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<FolderEntry> FindEntry(HeldFolder& folder, std::u16string_view name, std::u16string& reason) {
    const auto entries = folder.Entries(reason);
    if (!entries) return std::nullopt;
    for (const FolderEntry& entry : *entries)
        if (SameName(entry.name, name)) return entry;
    reason = u"it does not exist";
    return std::nullopt;
}

std::optional<std::string> ReadFileIn(Files& files, std::u16string_view directory, std::u16string_view name,
                                      std::uint64_t limit, std::u16string& reason) {
    Files::Opening opened = files.OpenFolder(directory);
    if (!opened.folder) {
        reason = opened.reason;
        return std::nullopt;
    }
    const auto entry = FindEntry(*opened.folder, name, reason);
    if (!entry) return std::nullopt;
    return opened.folder->ReadFile(*entry, limit, reason);
}

}  // namespace platform
