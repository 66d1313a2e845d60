#include "setup/DriverStore.h"

#include "setup/CommandLines.h"
#include "setup/CommandRuns.h"
#include "setup/Inf.h"
#include "setup/Text.h"

#include <algorithm>
#include <map>
#include <vector>

namespace setup {

namespace {

// A published INF larger than this is nobody's printer package.
constexpr std::uint64_t kPublishedInfLimit = 4u << 20;

}  // namespace

bool IsPublishedInfName(std::u16string_view name) {
    constexpr std::u16string_view kStart = u"oem", kEnd = u".inf";
    if (name.size() <= kStart.size() + kEnd.size() || !SameIgnoringCase(name.substr(0, kStart.size()), kStart) ||
        !SameIgnoringCase(name.substr(name.size() - kEnd.size()), kEnd))
        return false;
    for (char16_t c : name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size()))
        if (c < u'0' || c > u'9') return false;
    return true;
}

bool IsOurPublishedInf(std::u16string_view name, std::u16string_view original, std::string_view bytes,
                       std::u16string_view processor, const Product& product) {
    const bool ourOrigin = SameIgnoringCase(original, product.InfName()) || SameIgnoringCase(original, name);
    return ourOrigin && ReadInf(bytes, processor, product.model).listsModel;
}

platform::NameList FindOurPackages(platform::System& machine, const Product& product) {
    platform::NameList published = machine.ListPublishedInfs();
    if (!published.listed) return published;
    platform::NameList ours{true, {}, {}};
    const std::u16string processor = machine.NativeProcessor();
    for (const auto& name : published.names) {
        if (!IsPublishedInfName(name)) continue;
        // The bytes first: most published INFs are other vendors', and
        // reading them costs less than asking Windows for their origin.
        std::u16string reason;
        const auto bytes = machine.PublishedInfBytes(name, kPublishedInfLimit, reason);
        if (!bytes || !ReadInf(*bytes, processor, product.model).listsModel) continue;
        const auto original = machine.OriginalInfName(name, reason);
        if (!original) return {false, {}, name + u": " + std::move(reason)};
        if (IsOurPublishedInf(name, *original, *bytes, processor, product)) ours.names.push_back(name);
    }
    return ours;
}

std::optional<Verdict> RemoveOurPackages(Services& s, std::uint32_t timeoutMilliseconds, bool& restart) {
    const std::u16string inf = Quoted(s.product.InfName());
    const platform::NameList found = FindOurPackages(s.machine, s.product);
    if (!found.listed)
        return Failed(u"The driver store could not be read to remove the driver package " + inf + u" from it:\n\n" +
                      found.reason);
    if (found.names.empty()) {
        s.journal.Step(u"checked: the driver package " + inf + u" is not in the driver store");
        return std::nullopt;
    }
    std::map<std::u16string, std::u16string> exitCodes;
    for (const auto& name : found.names) {
        std::u16string line = u"found: the driver package " + inf;
        line += u" in the driver store as " + name;
        s.journal.Step(line);
        std::optional<std::uint32_t> code;
        if (auto failed = FailureOfRun(s, DriverStoreProgram, u"The driver store tool (pnputil)", timeoutMilliseconds,
                                       DeletePackageCommandLine(name), code))
            return failed;
        if (code == kDriverStoreRestartNeeded) restart = true;
        exitCodes[name] = code ? Number(*code) : u"unknown";
    }
    const platform::NameList after = FindOurPackages(s.machine, s.product);
    if (!after.listed)
        return Failed(u"The driver store tool (pnputil) ran, but the driver store could not be read to check that the "
                      u"driver package " + inf + u" is gone:\n\n" + after.reason);
    for (const auto& name : found.names)
        if (std::find(after.names.begin(), after.names.end(), name) == after.names.end())
        {
            std::u16string line = u"removed: the driver package " + inf;
            line += u" from the driver store (" + name + u")";
            s.journal.Step(line);
        }
    if (after.names.empty()) return std::nullopt;
    std::vector<std::u16string> kept;
    for (const auto& name : after.names)
        kept.push_back(name + (exitCodes.count(name) ? u" (pnputil exit code " + exitCodes[name] + u")" : u""));
    return Verdict{kExitPackageInUse,
                   u"The printers and the driver are removed, but the driver package " + inf +
                       u" stayed in the driver store as " + CommaList(kept) +
                       u": a device still uses it, such as the USB printer while it is plugged in, and a USB printer "
                       u"plugged in later gets the driver from there again. Fix: unplug the printer and run remove "
                       u"again, or remove the package with pnputil /delete-driver " + after.names.front() +
                       u" /uninstall /force."};
}

}  // namespace setup
