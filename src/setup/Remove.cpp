#include "setup/Remove.h"

#include "setup/CommandLines.h"
#include "setup/CommandRuns.h"
#include "setup/DriverStore.h"
#include "setup/Text.h"

#include <algorithm>
#include <vector>

namespace setup {

namespace {

// The printers of `list` that use the product's driver, by name.
std::vector<std::u16string> UsingOurDriver(const platform::PrinterInfoList& list, const Product& product) {
    std::vector<std::u16string> names;
    for (const auto& printer : list.printers)
        if (printer.driver == product.driverName) names.push_back(printer.name);
    return names;
}

Verdict DriverKeptBy(int exitCode, const Product& product, const std::vector<std::u16string>& users,
                     std::u16string_view why) {
    std::vector<std::u16string> quoted;
    quoted.reserve(users.size());
    for (const auto& name : users) quoted.push_back(Quoted(name));
    return Verdict{exitCode, u"The printer driver " + Quoted(product.driverName) + u" was not deleted: these printers still use it: " +
                                 CommaList(quoted) + std::u16string(why)};
}

// Each printer is made the default just before its delete, as the window
// does: when the default printer is deleted, the print system itself picks
// another of the user's printers as the default.
std::optional<Verdict> DeletePrinters(const std::vector<std::u16string>& found, std::uint32_t timeoutMilliseconds,
                                      Services& s) {
    for (const std::u16string& name : found) {
        if (auto failed = FailureOfCommand(s, timeoutMilliseconds, SetDefaultPrinterCommandLine(name))) return failed;
        // Jobs still queued would only mark the printer for deletion; they
        // cannot print once it is gone.
        std::u16string reason;
        if (s.printers.PurgePrintJobs(name, reason))
            s.journal.Step(u"purged: the print jobs of " + Quoted(name));
        else
            s.journal.Step(u"warning: the print jobs of " + Quoted(name) + u" could not be purged: " + reason);
        if (auto failed = FailureOfCommand(s, timeoutMilliseconds, QuietCommandLine(DeletePrinterCommandLine(name))))
            return failed;
    }
    // The driver delete only once the printers found are gone. Their names
    // are enough to see that: a names listing costs the print system a
    // fraction of a detailed one.
    if (found.empty()) return std::nullopt;
    const platform::NameList after = s.printers.ListPrinters();
    if (!after.listed)
        return Failed(u"The delete commands of the " + Number(found.size()) +
                      u" printer(s) ran, but the printers could not be listed to check that they are gone, so "
                      u"the driver was not deleted:\n\n" + after.reason);
    std::vector<std::u16string> left;
    for (const auto& name : found)
        if (std::find(after.names.begin(), after.names.end(), name) != after.names.end()) left.push_back(name);
    if (!left.empty())
        return DriverKeptBy(kExitFailed, s.product, left, u" (still listed after their delete: the delete failed, or it waits for print "
                                  u"jobs to end).");
    s.journal.Step(u"checked: the " + Number(found.size()) + u" printer(s) are no longer listed");
    return std::nullopt;
}

// The driver package last, once the driver is gone: left in the driver
// store, it gives a USB printer plugged in later the driver again.
Verdict WithoutPackage(std::uint32_t timeoutMilliseconds, Services& s) {
    bool restart = false;
    if (auto failed = RemoveOurPackages(s, timeoutMilliseconds, restart)) return *failed;
    if (restart)
        return {kExitRestartNeeded, u"the driver store tool (pnputil) asked for a restart to finish removing the "
                                    u"driver package " + Quoted(s.product.InfName())};
    return {};
}

}  // namespace

Verdict RemoveUnattended(std::uint32_t timeoutMilliseconds, Services s) {
    const platform::PrinterInfoList before = s.printers.ListLocalPrinters();
    if (!before.listed)
        return Failed(u"The installed printers could not be listed, so nothing was removed:\n\n" + before.reason);
    const std::vector<std::u16string> found = UsingOurDriver(before, s.product);
    s.journal.Step(u"found: " + Number(found.size()) + u" printer(s) that use " + Quoted(s.product.driverName));
    if (found.empty()) {
        const platform::NameList drivers = s.printers.ListPrinterDrivers();
        if (!drivers.listed)
            return Failed(u"The installed printer drivers could not be listed, so nothing was removed:\n\n" +
                          drivers.reason);
        if (!DriverInstalled(drivers, s.product)) {
            s.journal.Step(u"checked: the printer driver " + Quoted(s.product.driverName) +
                           u" is not installed; no printer or driver to remove");
            return WithoutPackage(timeoutMilliseconds, s);
        }
    }
    if (auto failed = DeletePrinters(found, timeoutMilliseconds, s)) return *failed;

    if (auto failed = FailureOfCommand(s, timeoutMilliseconds, DeleteDriverCommandLine(s.product))) return *failed;
    const platform::NameList drivers = s.printers.ListPrinterDrivers();
    if (!drivers.listed)
        return Failed(u"The driver delete command ran, but the installed printer drivers could not be listed to "
                      u"check that " + Quoted(s.product.driverName) + u" is gone:\n\n" + drivers.reason);
    if (DriverInstalled(drivers, s.product)) {
        // A printer that uses the driver keeps it installed: one added
        // meanwhile is named.
        const platform::PrinterInfoList details = s.printers.ListLocalPrinters();
        const std::vector<std::u16string> users = details.listed ? UsingOurDriver(details, s.product) : std::vector<std::u16string>{};
        if (!users.empty())
            return DriverKeptBy(kExitDriverInUse, s.product, users, u" (a printer that uses it keeps it installed).");
        return Failed(u"The printer driver " + Quoted(s.product.driverName) + u" could not be removed: it is still installed, "
                      u"because a printer still uses it or the print system refused to delete it.");
    }
    s.journal.Step(u"checked: the printer driver " + Quoted(s.product.driverName) + u" is not installed");
    return WithoutPackage(timeoutMilliseconds, s);
}

}  // namespace setup
