#include "setup/Workflows.h"

#include "forms/Form1.h"
#include "modules/modRegedit.h"
#include "setup/CommandLines.h"

#include <vector>

namespace setup {

namespace {

// Starts one printer setup command; fills `outcome` when it cannot be started.
bool Start(platform::Platform& platform, const std::u16string& commandLine, Outcome& outcome) {
    const platform::StartResult result = platform.RunDetached(PrinterSetupProgram, commandLine);
    if (result.started) return true;
    outcome = {true, commandLine, result.reason};
    return false;
}

}  // namespace

Outcome InstallPrinter(forms::Form1& form, platform::Platform& platform) {
    Outcome outcome;
    const std::u16string portName = form.SelectedPortName();
    const std::u16string commandLine = form.controls().Option2->Selected()
                                           ? InstallDriverOnlyCommandLine(platform.ProgramDirectory())
                                           : InstallOnComPortCommandLine(platform.ProgramDirectory(), portName);
    if (!Start(platform, commandLine, outcome)) return outcome;

    platform.Sleep(kInstallWaitMilliseconds);

    for (const std::u16string& printer : platform.ListPrinters()) {
        if (printer == PrinterName) {
            if (!Start(platform, SetDefaultPrinterCommandLine(PrinterName), outcome)) return outcome;
            break;
        }
    }

    form.SavePortSettings();
    form.Unload();
    return outcome;
}

Outcome RemovePrinters(forms::Form1& form, platform::Platform& platform, platform::AnsiRegistry& registry) {
    Outcome outcome;
    std::vector<std::u16string> found;
    for (const std::u16string& printer : platform.ListPrinters()) {
        std::u16string driver;
        modRegedit::RegGetString(registry, platform::kHkeyLocalMachine, std::u16string(kPrintersKeyPrefix) + printer,
                                 u"Printer Driver", driver);
        if (driver == DriverModel) found.push_back(printer);
    }

    for (const std::u16string& printer : found) {
        if (!Start(platform, SetDefaultPrinterCommandLine(printer), outcome)) return outcome;
        if (!Start(platform, DeletePrinterCommandLine(printer), outcome)) return outcome;
    }
    if (!Start(platform, DeleteDriverCommandLine(), outcome)) return outcome;

    form.Unload();
    return outcome;
}

}  // namespace setup

