#include "setup/Workflows.h"

#include "modules/modRegedit.h"
#include "setup/CommandLines.h"

#include <algorithm>
#include <string>
#include <vector>

namespace setup {

namespace {

// Starts one printer setup command; fills `outcome` when it cannot be started.
bool Start(platform::Platform& platform, const std::u16string& commandLine, Outcome& outcome,
           std::vector<platform::StartedProcess>* started = nullptr) {
    platform::StartResult result = platform.RunDetached(PrinterSetupProgram, commandLine);
    if (!result.started) {
        outcome = {Failure::StartFailed, commandLine, result.reason};
        return false;
    }
    if (started) started->push_back(std::move(result.process));
    return true;
}

std::u16string Seconds(std::uint32_t milliseconds) {
    const std::string n = std::to_string(milliseconds / 1000);
    return std::u16string(n.begin(), n.end());
}

}  // namespace

Outcome InstallPrinter(const InstallRequest& request, platform::Platform& platform) {
    Outcome outcome;
    const std::u16string commandLine = request.usb
                                           ? InstallDriverOnlyCommandLine(platform.ProgramDirectory())
                                           : InstallOnComPortCommandLine(platform.ProgramDirectory(), request.portName);
    if (!Start(platform, commandLine, outcome)) return outcome;

    platform.Sleep(kInstallWaitMilliseconds);

    for (const std::u16string& printer : platform.ListPrinters().names) {
        if (printer == PrinterName) {
            if (!Start(platform, SetDefaultPrinterCommandLine(PrinterName), outcome)) return outcome;
            break;
        }
    }
    return outcome;
}

long StorePortSettings(platform::AnsiRegistry& registry, std::u16string_view portName, std::u16string_view settings) {
    return modRegedit::RegSetString(registry, platform::kHkeyLocalMachine, std::u16string(kPortsKey),
                                    std::u16string(portName), std::u16string(settings));
}

Outcome RemovePrinters(platform::Platform& platform, platform::AnsiRegistry& registry) {
    Outcome outcome;
    const platform::NameList printers = platform.ListPrinters();
    if (!printers.listed) return {Failure::ListingFailed, {}, printers.reason};

    std::vector<std::u16string> found;
    for (const std::u16string& printer : printers.names) {
        std::u16string driver;
        modRegedit::RegGetString(registry, platform::kHkeyLocalMachine, std::u16string(kPrintersKeyPrefix) + printer,
                                 u"Printer Driver", driver);
        if (driver == DriverModel) found.push_back(printer);
    }

    // The driver cannot be deleted while a printer still uses it: every
    // command started so far must have ended before the driver delete starts.
    std::vector<platform::StartedProcess> started;
    for (const std::u16string& printer : found) {
        if (!Start(platform, SetDefaultPrinterCommandLine(printer), outcome, &started)) return outcome;
        if (!Start(platform, DeletePrinterCommandLine(printer), outcome, &started)) return outcome;
    }
    bool inTime = platform.WaitForProcesses(started, kRemovalWaitMilliseconds) == platform::WaitResult::AllEnded;

    std::vector<platform::StartedProcess> driverDelete;
    if (!Start(platform, DeleteDriverCommandLine(), outcome, &driverDelete)) return outcome;
    inTime = platform.WaitForProcesses(driverDelete, kRemovalWaitMilliseconds) == platform::WaitResult::AllEnded &&
             inTime;
    if (!inTime) return {Failure::WaitTimedOut, {}, {}};

    const platform::NameList drivers = platform.ListPrinterDrivers();
    if (!drivers.listed) return {Failure::DriverCheckFailed, {}, drivers.reason};
    if (std::find(drivers.names.begin(), drivers.names.end(), DriverModel) != drivers.names.end())
        return {Failure::DriverStillInstalled, {}, {}};
    return outcome;
}

std::u16string FailureMessage(const Outcome& outcome) {
    const std::u16string driver = u"The printer driver \"" + std::u16string(DriverModel) + u"\" could not be removed: ";
    switch (outcome.failure) {
    case Failure::None:
        return {};
    case Failure::StartFailed:
        return u"The printer setup tool could not be started:\n\n" + outcome.commandLine + u"\n\n" + outcome.reason;
    case Failure::ListingFailed:
        return u"The installed printers could not be listed, so nothing was removed:\n\n" + outcome.reason;
    case Failure::WaitTimedOut:
        return driver + u"the printer setup tool did not finish within " + Seconds(kRemovalWaitMilliseconds) +
               u" seconds.";
    case Failure::DriverStillInstalled:
        return driver + u"it is still installed, because a printer still uses it or the print system refused to "
                        u"delete it.";
    case Failure::DriverCheckFailed:
        return driver + u"the installed drivers could not be listed to confirm it:\n\n" + outcome.reason;
    }
    return {};
}

}  // namespace setup
