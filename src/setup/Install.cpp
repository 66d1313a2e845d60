#include "setup/Install.h"

#include "modules/modRegedit.h"
#include "setup/CommandLines.h"
#include "setup/CommandRuns.h"
#include "setup/MachineRecord.h"
#include "setup/SerialSettings.h"
#include "setup/Text.h"

#include <optional>
#include <vector>

namespace setup {

namespace {

bool RunsAsSystem(platform::System& machine) { return machine.RunningUserSid() == u"S-1-5-18"; }

// A USB printer plugged in before the driver was installed waits without
// one (problem code 28): the package in the driver store, and the devices
// it matches updated, give it its driver without re-plugging. The driver
// store tool's exit code is its verdict.
std::optional<Verdict> FailureOfDriverStore(const UnattendedInstallRequest& request, Services& s, bool& restart) {
    const std::u16string line = AddToDriverStoreCommandLine(request.packageDirectory, s.product);
    std::optional<std::uint32_t> code;
    if (auto failed = FailureOfRun(s, DriverStoreProgram, u"The driver store tool (pnputil)", request.timeoutMilliseconds,
                                   line, code))
        return failed;
    if (code == 0u) s.journal.Step(u"updated: the USB devices that the package matches have its driver");
    else if (code == kDriverStoreNothingToUpdate) s.journal.Step(u"checked: no device waits for this driver");
    else if (code == kDriverStoreRestartNeeded)
        restart = true;
    else
        return Failed(u"The driver store tool (pnputil) could not add the driver package or update the devices it "
                      u"matches (exit code " + (code ? Number(*code) : u"unknown") + u"):\n\n" + line);
    return std::nullopt;
}

const platform::PrinterInfo* Find(const platform::PrinterInfoList& list, std::u16string_view name) {
    for (const auto& printer : list.printers)
        if (printer.name == name) return &printer;
    return nullptr;
}

// ---- The steps of an installation; each says what it changed ----

// The printer, once the install command has run: ours, on the port asked
// (moved there when it is on another); for USB only the driver.
std::optional<Verdict> CheckPrinterOnPort(const UnattendedInstallRequest& request, Services& s, bool& changed,
                                          bool& printerThere) {
    const std::u16string port = request.port.PrintSystemName();
    platform::PrinterInfoList printers = s.printers.ListPrinterDetails();
    if (!printers.listed)
        return Failed(u"The installed printers could not be listed to check the installation:\n\n" + printers.reason);
    const platform::PrinterInfo* printer = Find(printers, s.product.printerName);
    if (request.port.IsUsb()) {
        const platform::NameList drivers = s.printers.ListPrinterDrivers();
        if (!drivers.listed) return Failed(u"The installed printer drivers could not be listed:\n\n" + drivers.reason);
        if (!DriverInstalled(drivers, s.product))
            return Failed(u"The printer driver " + Quoted(s.product.driverName) + u" was not installed.");
        s.journal.Step(u"checked: the printer driver " + Quoted(s.product.driverName) + u" is installed");
        // A printer of our name on a COM port stays as it is: a machine may have both.
        printerThere = printer && printer->driver == s.product.driverName;
        return std::nullopt;
    }
    if (!printer) return Failed(u"The printer " + Quoted(s.product.printerName) + u" was not installed.");
    if (printer->driver != s.product.driverName)
        return Failed(u"The printer " + Quoted(s.product.printerName) + u" uses the driver " + Quoted(printer->driver) +
                      u", not " + Quoted(s.product.driverName) + u"; it is not this tool's, and was left as it is.");
    if (printer->port != port) {
        // The install command adds no printer whose name is taken: ours is
        // moved to the port asked, and keeps everything else.
        const std::u16string from = printer->port;
        if (auto failed = FailureOfCommand(s, request.timeoutMilliseconds, SetPrinterPortCommandLine(s.product.printerName, port)))
            return failed;
        printers = s.printers.ListPrinterDetails();
        if (!printers.listed)
            return Failed(u"The installed printers could not be listed to check the move:\n\n" + printers.reason);
        printer = Find(printers, s.product.printerName);
        if (!printer || printer->driver != s.product.driverName || printer->port != port)
            return Failed(u"The printer " + Quoted(s.product.printerName) + u" could not be moved from " + from + u" to " + port +
                          u"; it is " + (printer ? u"on " + Quoted(printer->port) : u"gone") + u".");
        s.journal.Step(u"moved from " + from + u" to " + port + u": the printer " + Quoted(s.product.printerName));
        changed = true;
    }
    s.journal.Step(u"checked: the printer " + Quoted(s.product.printerName) + u" uses " + Quoted(s.product.driverName) + u" on " + port);
    printerThere = true;
    return std::nullopt;
}

// The COM port's line settings, written and read back.
std::optional<Verdict> StoreSettings(const UnattendedInstallRequest& request, Services& s, bool& changed) {
    const std::u16string port = request.port.PrintSystemName();
    std::u16string stored;
    if (ReadPortSettings(s.registry, port, stored) == platform::kErrorSuccess && stored == request.portSettings) {
        s.journal.Step(u"checked: " + port + u" = " + stored + u" is already stored");
        return std::nullopt;
    }
    const long written = StorePortSettings(s.registry, port, request.portSettings);
    const long readBack = ReadPortSettings(s.registry, port, stored);
    if (written != platform::kErrorSuccess || readBack != platform::kErrorSuccess || stored != request.portSettings)
        return Failed(u"The settings of " + port + u" could not be stored (status " +
                      Number(static_cast<std::uint64_t>(written != 0 ? written : readBack)) + u").");
    s.journal.Step(u"stored: " + port + u" = " + stored);
    changed = true;
    return std::nullopt;
}

// The port and settings, stored as the package's choice for its next upgrade or repair.
std::optional<Verdict> RememberChoice(const UnattendedInstallRequest& request, Services& s) {
    const long status = StoreChoice(s.registry, request.port, request.portSettings, request.device);
    if (status != platform::kErrorSuccess)
        return Failed(u"The installation is done, but the choice could not be stored under HKLM\\" +
                      std::u16string(kMachineRecordKey) +
                      u" (status " + Number(static_cast<std::uint64_t>(status)) +
                      u"); the next upgrade or repair would not find it.");
    s.journal.Step(u"stored as the package's choice: " +
                   (request.device ? u"Device = " + *request.device : u"Port = " + request.port.Name()) +
                   (request.port.IsUsb() ? u"" : u", Settings = " + request.portSettings));
    return std::nullopt;
}

// The printer as the running user's default.
std::optional<Verdict> MakeDefaultPrinter(const UnattendedInstallRequest& request, Services& s, bool& changed) {
    if (s.printers.DefaultPrinter() == s.product.printerName) {
        s.journal.Step(u"checked: " + Quoted(s.product.printerName) + u" is already the default printer of the running user");
    } else {
        if (auto failed = FailureOfCommand(s, request.timeoutMilliseconds, SetDefaultPrinterCommandLine(s.product.printerName)))
            return failed;
        const std::u16string current = s.printers.DefaultPrinter();
        if (current != s.product.printerName)
            return Failed(u"The printer " + Quoted(s.product.printerName) + u" could not be made the default printer; it is " +
                          (current.empty() ? u"none" : Quoted(current)) + u".");
        s.journal.Step(u"checked: " + Quoted(s.product.printerName) + u" is the default printer of the running user");
        changed = true;
    }
    if (RunsAsSystem(s.machine))
        s.journal.Step(u"note: this run is SYSTEM's, so it set SYSTEM's default printer; signed-in users get " +
                       Quoted(s.product.printerName) + u" as their default at their next sign-in through the MSI's Active "
                       u"Setup entry, or by running PortSetupCli set-default as the user");
    return std::nullopt;
}

}  // namespace

Verdict InstallUnattended(const UnattendedInstallRequest& request, Services s) {
    const std::u16string inf = request.packageDirectory + std::u16string(s.product.infFile);
    if (!s.files.FileExists(inf)) return Failed(u"The driver package's INF file was not found: " + inf);
    s.journal.Step(u"found: " + inf);

    // Whether the printer (for USB: the driver) was there before, so that a
    // run that finds everything as asked can say so.
    bool foundInstalled = false;
    if (request.port.IsUsb()) {
        foundInstalled = DriverInstalled(s.printers.ListPrinterDrivers(), s.product);
    } else {
        const platform::PrinterInfoList before = s.printers.ListPrinterDetails();
        const platform::PrinterInfo* found = Find(before, s.product.printerName);
        foundInstalled = found && found->driver == s.product.driverName && found->port == request.port.PrintSystemName();
    }
    // The driver install always runs: a newer package updates the driver.
    const std::u16string install = QuietCommandLine(
        request.port.IsUsb() ? InstallDriverOnlyCommandLine(request.packageDirectory, InfQuoting::Always, s.product)
                    : InstallOnComPortCommandLine(request.packageDirectory, request.port.PrintSystemName(), InfQuoting::Always, s.product));
    if (auto failed = FailureOfCommand(s, request.timeoutMilliseconds, install)) return *failed;

    // The print system says whether it worked, not a fixed wait; what is
    // there decides what follows.
    bool changed = false;
    bool printerThere = false;
    bool restart = false;
    if (auto failed = CheckPrinterOnPort(request, s, changed, printerThere)) return *failed;
    if (request.port.IsUsb())
        if (auto failed = FailureOfDriverStore(request, s, restart)) return *failed;
    if (printerThere)
        if (auto failed = MakeDefaultPrinter(request, s, changed)) return *failed;
    if (!request.port.IsUsb())
        if (auto failed = StoreSettings(request, s, changed)) return *failed;
    if (request.rememberChoice)
        if (auto failed = RememberChoice(request, s)) return *failed;
    // Done, but the USB printer gets its driver only once Windows restarts:
    // said with its own exit code, which deployment systems act on.
    if (restart)
        return Verdict{kExitRestartNeeded, u"a restart of Windows is needed before the USB printer uses the driver "
                                           u"(pnputil exit code 3010)"};
    if (foundInstalled && !changed) s.journal.Step(u"already installed as asked");
    return {};
}

}  // namespace setup
