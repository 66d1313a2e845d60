#include "setup/Inf.h"

#include <map>
#include <optional>

namespace setup {

namespace {

std::u16string Lower(std::u16string_view text) {
    std::u16string lower(text);
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return lower;
}

std::u16string Trim(std::u16string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t' || text[end - 1] == u'\r')) --end;
    return std::u16string(text.substr(begin, end - begin));
}

std::u16string Unquoted(std::u16string text) {
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') return text.substr(1, text.size() - 2);
    return text;
}

std::u16string Decoded(std::string_view bytes) {
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        return text;
    }
    const std::size_t start = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (std::size_t i = start; i < bytes.size(); ++i) text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

// The sections by lower-case name, each with its entries (key, value) in
// order; comments removed, keys and values trimmed.
std::map<std::u16string, Entries> Sections(const std::u16string& text) {
    std::map<std::u16string, Entries> sections;
    Entries* current = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        // A line ends at a line feed or a carriage return, alone or not: no
        // value holds a line break.
        std::size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        start = end + 1;
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == u'"') quoted = !quoted;
            if (line[i] == u';' && !quoted) {
                line.resize(i);
                break;
            }
        }
        line = Trim(line);
        if (line.empty()) continue;
        if (line.front() == u'[') {
            const std::size_t close = line.find(u']');
            current = &sections[Lower(Trim(line.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1)))];
            continue;
        }
        if (!current) continue;
        const std::size_t equals = line.find(u'=');
        if (equals == std::u16string::npos) current->emplace_back(line, u"");
        else current->emplace_back(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    return sections;
}

std::vector<std::u16string> Fields(const std::u16string& value) {
    std::vector<std::u16string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(u',', start);
        fields.push_back(Trim(value.substr(start, comma == std::u16string::npos ? std::u16string::npos : comma - start)));
        if (comma == std::u16string::npos) return fields;
        start = comma + 1;
    }
}

std::u16string TrimSlashes(std::u16string text) {
    while (!text.empty() && (text.front() == u'\\' || text.front() == u'/')) text.erase(0, 1);
    while (!text.empty() && (text.back() == u'\\' || text.back() == u'/')) text.pop_back();
    return text;
}

// The files an INF names for `processor` ([SourceDisksFiles] and
// [SourceDisksFiles.amd64]), each in the folder its disk and its own entry
// give ([SourceDisksNames]: the fourth field).
std::vector<std::u16string> NamedFiles(const std::map<std::u16string, Entries>& sections, std::u16string_view processor) {
    const std::u16string decorated = u"." + Lower(processor);
    std::map<std::u16string, std::u16string> disks;
    for (const std::u16string& name : {std::u16string(u"sourcedisksnames"), u"sourcedisksnames" + decorated})
        if (const auto found = sections.find(name); found != sections.end())
            for (const auto& [id, value] : found->second) {
                const std::vector<std::u16string> fields = Fields(value);
                disks[id] = fields.size() > 3 ? TrimSlashes(Unquoted(fields[3])) : u"";
            }
    std::vector<std::u16string> files;
    for (const std::u16string& name : {std::u16string(u"sourcedisksfiles"), u"sourcedisksfiles" + decorated}) {
        const auto found = sections.find(name);
        if (found == sections.end()) continue;
        for (const auto& [file, value] : found->second) {
            const std::vector<std::u16string> fields = Fields(value);
            std::u16string folder = disks[fields[0]];
            if (fields.size() > 1 && !fields[1].empty())
                folder += (folder.empty() ? u"" : u"\\") + TrimSlashes(Unquoted(fields[1]));
            files.push_back((folder.empty() ? u"" : folder + u"\\") + Unquoted(file));
        }
    }
    return files;
}

}  // namespace

bool InsidePackage(std::u16string_view path) {
    if (path.empty() || path.front() == u'\\' || path.front() == u'/' || path.find(u':') != std::u16string_view::npos)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find_first_of(u"\\/", start);
        const std::u16string_view part = path.substr(start, slash == std::u16string_view::npos ? slash : slash - start);
        if (part.empty() || part == u".." || part == u".") return false;
        if (slash == std::u16string_view::npos) return true;
        start = slash + 1;
    }
}

bool PlainFileName(std::u16string_view name) {
    return InsidePackage(name) && name.find_first_of(u"\\/") == std::u16string_view::npos;
}

InfFacts ReadInf(std::string_view bytes, std::u16string_view processor, std::u16string_view model) {
    InfFacts facts;
    const auto sections = Sections(Decoded(bytes));
    std::map<std::u16string, std::u16string> strings;
    if (auto found = sections.find(u"strings"); found != sections.end())
        for (const auto& [key, value] : found->second) strings[Lower(key)] = Unquoted(value);
    // %token% replaced by its [Strings] text.
    auto resolved = [&](const std::u16string& text) {
        std::u16string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::size_t close = text[i] == u'%' ? text.find(u'%', i + 1) : std::u16string::npos;
            const auto found = close == std::u16string::npos ? strings.end() : strings.find(Lower(text.substr(i + 1, close - i - 1)));
            if (found == strings.end()) {
                out += text[i];
                continue;
            }
            out += found->second;
            i = close;
        }
        return Unquoted(out);
    };
    const std::u16string nt = u"nt" + Lower(processor);
    if (auto version = sections.find(u"version"); version != sections.end()) {
        for (const auto& [key, value] : version->second) {
            const std::u16string name = Lower(key);
            if (name == u"catalogfile." + nt || (facts.catalog.empty() && (name == u"catalogfile" || name == u"catalogfile.nt")))
                facts.catalog = resolved(value);
            if (name == u"driverver") facts.driverVer = resolved(value);
        }
    }
    facts.files = NamedFiles(sections, processor);
    const auto manufacturer = sections.find(u"manufacturer");
    if (manufacturer == sections.end()) return facts;
    for (const auto& [key, value] : manufacturer->second) {
        const std::vector<std::u16string> fields = Fields(resolved(value.empty() ? key : value));
        std::optional<std::u16string> section;
        for (std::size_t i = 1; i < fields.size(); ++i) {
            facts.decorations.push_back(fields[i]);
            const std::u16string decoration = Lower(fields[i]);
            if (decoration == nt || decoration.rfind(nt + u".", 0) == 0 || (nt == u"ntx86" && decoration == u"nt"))
                section = Lower(fields[0]) + u"." + decoration;
        }
        // Undecorated, a models section is for 32-bit x86 only.
        if (!section && fields.size() == 1 && nt == u"ntx86") section = Lower(fields[0]);
        const auto models = section ? sections.find(*section) : sections.end();
        if (models == sections.end()) continue;
        facts.hasProcessorSection = true;
        for (const auto& entry : models->second)
            if (Lower(resolved(entry.first)) == Lower(model)) facts.listsModel = true;
    }
    return facts;
}

}  // namespace setup
