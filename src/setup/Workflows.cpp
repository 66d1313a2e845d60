#include "setup/Workflows.h"

#include "modules/modRegedit.h"
#include "setup/CommandLines.h"
#include "setup/Text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace setup {

namespace {

// Starts one printer setup command; fills `outcome` when it cannot be started.
bool Start(platform::Processes& processes, const std::u16string& commandLine, Outcome& outcome,
           std::vector<platform::StartedProcess>* started = nullptr) {
    platform::StartResult result = processes.RunDetached(PrinterSetupProgram, commandLine);
    if (!result.started) {
        outcome = {Failure::StartFailed, commandLine, result.reason, {}};
        return false;
    }
    if (started) started->push_back(std::move(result.process));
    return true;
}

}  // namespace

Outcome InstallPrinter(const InstallRequest& request, platform::Machine& machine, platform::Processes& processes,
                       platform::PrinterList& printers, const Product& product) {
    Outcome outcome;
    const std::u16string package =
        request.packageDirectory.empty() ? machine.ProgramDirectory() : request.packageDirectory;
    const std::u16string commandLine = request.usb
        ? InstallDriverOnlyCommandLine(package, InfQuoting::AsNeeded, product)
        : InstallOnComPortCommandLine(package, request.portName, InfQuoting::AsNeeded, product);
    if (!Start(processes, commandLine, outcome)) return outcome;

    processes.Sleep(kInstallWaitMilliseconds);

    for (const std::u16string& printer : printers.ListPrinters().names) {
        if (printer == product.printerName) {
            if (!Start(processes, SetDefaultPrinterCommandLine(product.printerName), outcome)) return outcome;
            break;
        }
    }
    return outcome;
}

Outcome RemovePrinters(platform::PrinterList& printers, platform::Processes& processes, platform::AnsiRegistry& registry,
                       const Product& product) {
    Outcome outcome;
    const platform::NameList listed = printers.ListPrinters();
    if (!listed.listed) return {Failure::ListingFailed, {}, listed.reason, {}};

    std::vector<std::u16string> found;
    for (const std::u16string& printer : listed.names) {
        std::u16string driver;
        modRegedit::RegGetString(registry, platform::kHkeyLocalMachine, std::u16string(kPrintersKeyPrefix) + printer,
                                 u"Printer Driver", driver);
        if (driver == product.driverName) found.push_back(printer);
    }

    // Each printer is made the default just before its delete: when the
    // default printer is deleted, the print system itself picks another of the
    // user's printers as the default, so nobody is left with a default that
    // is gone. The driver cannot be deleted while a printer still uses it:
    // every command started so far must have ended before the driver delete.
    std::vector<platform::StartedProcess> started;
    for (const std::u16string& printer : found) {
        if (!Start(processes, SetDefaultPrinterCommandLine(printer), outcome, &started)) return outcome;
        if (!Start(processes, DeletePrinterCommandLine(printer), outcome, &started)) return outcome;
    }
    bool inTime = processes.WaitForProcesses(started, kRemovalWaitMilliseconds) == platform::WaitResult::AllEnded;

    std::vector<platform::StartedProcess> driverDelete;
    if (!Start(processes, DeleteDriverCommandLine(product), outcome, &driverDelete)) return outcome;
    inTime = processes.WaitForProcesses(driverDelete, kRemovalWaitMilliseconds) == platform::WaitResult::AllEnded &&
             inTime;
    if (!inTime) return {Failure::WaitTimedOut, {}, {}, {}};

    const platform::NameList drivers = printers.ListPrinterDrivers();
    if (!drivers.listed) return {Failure::DriverCheckFailed, {}, drivers.reason, {}};
    if (std::find(drivers.names.begin(), drivers.names.end(), product.driverName) != drivers.names.end())
        return {Failure::DriverStillInstalled, {}, {}, {}};
    return outcome;
}

std::u16string FailureMessage(const Outcome& outcome, const Product& product) {
    const std::u16string driver = u"The printer driver \"" + std::u16string(product.driverName) + u"\" could not be removed: ";
    switch (outcome.failure) {
    case Failure::None:
        return {};
    case Failure::StartFailed:
        return u"The printer setup tool could not be started:\n\n" + outcome.commandLine + u"\n\n" + outcome.reason;
    case Failure::ListingFailed:
        return u"The installed printers could not be listed, so nothing was removed:\n\n" + outcome.reason;
    case Failure::WaitTimedOut:
        return driver + u"the printer setup tool did not finish within " + Number(kRemovalWaitMilliseconds / 1000) +
               u" seconds.";
    case Failure::DriverStillInstalled:
        return driver + u"it is still installed, because a printer still uses it or the print system refused to "
                        u"delete it.";
    case Failure::DriverCheckFailed:
        return driver + u"the installed drivers could not be listed to confirm it:\n\n" + outcome.reason;
    case Failure::PackageRefused:
        return u"The driver package beside PortSetup.exe is not used, and nothing was installed: " + outcome.reason +
               u".\n\nFix: copy the vendor's package as plain files to a folder only administrators can change "
               u"(Program Files), with PortSetup.exe, and run it from there.";
    }
    return {};
}

}  // namespace setup
