#include "setup/PreChecks.h"

#include "setup/CommandLines.h"
#include "setup/Text.h"

#include <map>
#include <optional>

namespace setup {

namespace {

constexpr std::uint32_t kKeyRead = 0x20019;
bool InsidePackage(std::u16string_view path);
constexpr std::size_t kInfLimitBytes = std::size_t{4} * 1024 * 1024;

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

std::optional<std::uint32_t> DwordValue(platform::AnsiRegistry& registry, platform::RegHandle root,
                                        const std::string& subKey, const std::string& name) {
    std::optional<std::uint32_t> result;
    platform::RegHandle key = 0;
    if (registry.RegOpenKeyExA(root, subKey, 0, kKeyRead, key) != platform::kErrorSuccess) return result;
    std::uint32_t type = 0, value = 0, size = sizeof value;
    if (registry.RegQueryValueExA(key, name, type, reinterpret_cast<std::uint8_t*>(&value), size) ==
            platform::kErrorSuccess &&
        type == platform::kRegDword && size == sizeof value)
        result = value;
    registry.RegCloseKey(key);
    return result;
}

bool KeyExists(platform::AnsiRegistry& registry, const std::string& subKey) {
    platform::RegHandle key = 0;
    if (registry.RegOpenKeyExA(platform::kHkeyLocalMachine, subKey, 0, kKeyRead, key) != platform::kErrorSuccess)
        return false;
    registry.RegCloseKey(key);
    return true;
}

Finding Refused(std::u16string check, std::u16string detail, std::u16string fix, int exitCode) {
    return {std::move(check), Finding::Result::Refused, std::move(detail), std::move(fix), exitCode};
}

Finding SpoolerFinding(bool start, const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"print spooler";
    const platform::ServiceState spooler = seams.services.QueryService(u"Spooler");
    if (!spooler.asked)
        return {std::u16string(kCheck), Finding::Result::Warning,
                u"the service manager could not be asked about the Print Spooler (" + spooler.reason + u")", u"", 0};
    if (!spooler.exists)
        return Refused(std::u16string(kCheck), u"the Print Spooler service is not installed on this machine",
                       u"install or repair Windows' printing components (Print Spooler).", kExitSpoolerNotRunning);
    if (spooler.disabled)
        return Refused(std::u16string(kCheck), u"the Print Spooler service is disabled",
                       u"set it to start automatically and start it (sc config spooler start= auto & sc start "
                       u"spooler), or undo the policy or hardening baseline that disabled it.",
                       kExitSpoolerDisabled);
    if (spooler.running) return {std::u16string(kCheck), Finding::Result::Passed, u"the Print Spooler runs", u"", 0};
    if (!start)
        return {std::u16string(kCheck), Finding::Result::Warning, u"the Print Spooler is stopped; install starts it",
                u"", 0};
    std::u16string reason;
    if (!seams.services.StartAndWait(u"Spooler", kSpoolerStartMilliseconds, reason))
        return Refused(std::u16string(kCheck), u"the Print Spooler was stopped and could not be started (" + reason + u")",
                       u"start it (sc start spooler) and see the System event log for why it stops.",
                       kExitSpoolerNotRunning);
    return {std::u16string(kCheck), Finding::Result::Passed, u"the Print Spooler was stopped; it was started", u"", 0};
}

// Windows protected print mode (Windows 11 24H2 and later) loads no
// third-party printer driver at all.
Finding PolicyFinding(const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"driver policy";
    const auto state = DwordValue(seams.registry, platform::kHkeyLocalMachine,
                                  "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP",
                                  "WindowsProtectedPrintGroupPolicyState");
    if (state && *state == 1)
        return Refused(std::u16string(kCheck),
                       u"Windows protected print mode is on (policy \"Configure Windows protected print\", "
                       u"HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP "
                       u"WindowsProtectedPrintGroupPolicyState = 1): it allows no third-party printer driver",
                       u"turn the policy off for this device (Computer Configuration > Administrative Templates > "
                       u"Printers > Configure Windows protected print, or its Intune setting); turning it on "
                       u"later removes this printer again.",
                       kExitForbiddenByPolicy);
    return {std::u16string(kCheck), Finding::Result::Passed, u"no policy forbids third-party printer drivers", u"", 0};
}

Finding PackageFinding(const std::u16string& directory, const platform::Seams& seams, std::u16string& catalogPath,
                       std::vector<std::u16string>& members) {
    static constexpr std::u16string_view kCheck = u"driver package";
    const std::u16string inf = directory + std::u16string(DriverInfFile);
    std::u16string reason;
    const auto bytes =
        platform::ReadFileIn(seams.files, directory, std::u16string(DriverInfFile).substr(1), kInfLimitBytes, reason);
    if (!bytes)
        return Refused(std::u16string(kCheck), u"the INF file " + inf + u" cannot be read (" + reason + u")",
                       u"give the folder of the vendor's driver package with --package.", kExitPackageInvalid);
    const std::u16string processor = seams.machine.NativeProcessor();
    const InfFacts facts = ReadInf(*bytes, processor, DriverModel);
    if (facts.catalog.empty())
        return Refused(std::u16string(kCheck), inf + u" names no catalog file (CatalogFile): Windows installs no "
                                                     u"unsigned printer driver",
                       u"use the vendor's signed driver package.", kExitPackageInvalid);
    if (!PlainFileName(facts.catalog))
        return Refused(std::u16string(kCheck), inf + u" names a catalog outside the package (CatalogFile=" +
                                                   facts.catalog + u")",
                       u"use the vendor's driver package as it ships: its catalog is a file of its own folder.",
                       kExitPackageInvalid);
    if (!seams.files.FileExists(directory + u"\\" + facts.catalog))
        return Refused(std::u16string(kCheck), u"the catalog " + facts.catalog + u" that " + inf + u" names is missing",
                       u"copy the whole driver package, with its .cat file, as the vendor ships it.",
                       kExitPackageInvalid);
    catalogPath = directory + u"\\" + facts.catalog;
    members = {inf};
    for (const auto& file : facts.files) {
        if (!InsidePackage(file))
            return Refused(std::u16string(kCheck), inf + u" names a file outside the package (" + file + u")",
                           u"use the vendor's driver package as it ships.", kExitPackageInvalid);
        members.push_back(directory + u"\\" + file);
    }
    const std::u16string decoration = u"NT" + processor;
    if (!facts.hasProcessorSection)
        return Refused(std::u16string(kCheck),
                       inf + u" has no models section for this machine's processor (" + decoration + u"); it has " +
                           (facts.decorations.empty() ? u"none" : CommaList(facts.decorations)),
                       u"use the vendor's driver package for " + decoration + u".", kExitWrongProcessor);
    if (!facts.listsModel)
        return Refused(std::u16string(kCheck), inf + u" does not list " + Quoted(DriverModel) + u" for " + decoration,
                       u"use the vendor's driver package for this printer.", kExitPackageInvalid);
    return {std::u16string(kCheck), Finding::Result::Passed,
            inf + u": " + Quoted(DriverModel) + u" for " + decoration + u", catalog " + facts.catalog +
                (facts.driverVer.empty() ? u"" : u", DriverVer " + facts.driverVer),
            u"", 0};
}

// An unsigned catalog, or a signer the machine does not trust, makes the
// print system ask a question in a session nobody sees. A package others
// could change is taken only on its publisher's word: a catalog that is
// signed by a trusted publisher and lists the INF and every file it names.
Finding SignatureFinding(const std::u16string& catalogPath, const std::vector<std::u16string>& members, bool strict,
                         const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"driver signature";
    using State = platform::Machine::CatalogTrust::State;
    const auto trust = seams.machine.CatalogSignature(catalogPath, members);
    if (trust.state == State::Trusted)
        return {std::u16string(kCheck), Finding::Result::Passed,
                catalogPath + u" is signed by " + trust.detail + u" and lists the package's " +
                    Number(members.size()) + u" file(s)",
                u"", 0};
    std::u16string detail;
    std::u16string fix;
    switch (trust.state) {
    case State::Unverified:
        detail = u"the signature of " + catalogPath + u" cannot be verified: " + trust.detail;
        fix = u"use the driver package as the vendor signed it, with its own .cat file";
        break;
    case State::SignerNotTrusted:
        detail = u"the signer of " + catalogPath + u" is not trusted on this machine: " + trust.detail;
        fix = u"add the vendor's certificate to the machine's Trusted Publishers store (certutil -addstore "
              u"TrustedPublisher vendor.cer, or for a fleet by Group Policy or Intune)";
        break;
    default:
        detail = catalogPath + u" does not list " + trust.detail + u": the catalog is not this package's";
        fix = u"use the driver package as the vendor ships it, its files and its catalog together";
        break;
    }
    if (strict)
        return Refused(std::u16string(kCheck), u"others can change the driver package, and " + detail,
                       u"put the package in a folder only administrators can change, such as Program Files or the "
                       u"MSI's folder, or " + fix + u".",
                       kExitPackageUnsigned);
    return {std::u16string(kCheck), Finding::Result::Warning, detail,
            fix + u"; otherwise Windows asks whether to install the driver where nobody sees it, and the install "
                  u"ends only at its --timeout.",
            0};
}

// A path inside the package: relative, no drive, no "..".
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

std::vector<Finding> CheckBeforeInstall(const PreCheckRequest& request, const platform::Seams& seams) {
    std::vector<Finding> findings;
    auto stopped = [&] { return !request.all && findings.back().result == Finding::Result::Refused; };
    findings.push_back(SpoolerFinding(request.startSpooler, seams));
    if (stopped()) return findings;
    findings.push_back(PolicyFinding(seams));
    if (stopped()) return findings;
    std::u16string catalogPath;
    std::vector<std::u16string> members;
    findings.push_back(PackageFinding(request.packageDirectory, seams, catalogPath, members));
    if (stopped()) return findings;
    if (!catalogPath.empty())
        findings.push_back(SignatureFinding(catalogPath, members, request.othersCouldChange, seams));
    if (stopped()) return findings;
    if (KeyExists(seams.registry, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending") ||
        KeyExists(seams.registry, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired"))
        findings.push_back({u"restart", Finding::Result::Warning, u"a restart of Windows is pending",
                            u"restart the machine when the till is free: a driver in use is only replaced then.", 0});
    if (!request.port.empty())
        if (const auto busy = seams.machine.ComPortBusy(request.port))
            findings.push_back({u"COM port", Finding::Result::Warning, request.port + u" cannot be opened: " + *busy,
                                u"close the program that holds " + request.port +
                                    u" (a till application, a scale or scanner service): the printer cannot print "
                                    u"until it lets go.",
                                0});
    return findings;
}

const Finding* FirstRefusal(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings)
        if (finding.result == Finding::Result::Refused) return &finding;
    return nullptr;
}

}  // namespace setup
