#include "setup/Unattended.h"

#include "modules/modRegedit.h"
#include "setup/CommandLines.h"
#include "setup/SerialSettings.h"
#include "setup/Text.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace setup {

namespace {

Verdict Failed(std::u16string message) { return {kExitFailed, std::move(message)}; }

constexpr std::uint32_t kKeyRead = 0x20019;

// Runs a system program's command line and waits for it; a failure to
// start it, or a run past the time limit (it is then left running), is the
// verdict. Its exit code, when it is known, in `exitCode`.
std::optional<Verdict> FailureOfRun(Services& s, std::u16string_view program, std::u16string_view tool,
                                    std::uint32_t timeoutMilliseconds, const std::u16string& commandLine,
                                    std::optional<std::uint32_t>& exitCode) {
    s.journal.Step(u"started: " + commandLine);
    const std::uint64_t startedAt = s.machine.Milliseconds();
    platform::StartResult start = s.processes.RunDetached(program, commandLine);
    if (!start.started)
        return Failed(std::u16string(tool) + u" could not be started:\n\n" + commandLine + u"\n\n" + start.reason);
    std::vector<platform::StartedProcess> process;
    process.push_back(std::move(start.process));
    const std::u16string limit = Number(timeoutMilliseconds / 1000) + u" s";
    if (s.processes.WaitForProcesses(process, timeoutMilliseconds) == platform::WaitResult::TimedOut) {
        s.journal.Step(u"not ended within " + limit + u", left running: " + commandLine);
        return Verdict{kExitTimedOut, std::u16string(tool) + u" did not end within " + limit +
                                          u"; it was left running:\n\n" + commandLine};
    }
    exitCode = s.processes.ExitCodeOf(process.front());
    s.journal.Step(u"ended with exit code " + (exitCode ? Number(*exitCode) : u"unknown") + u" after " +
                   Number(s.machine.Milliseconds() - startedAt) + u" ms: " + commandLine);
    return std::nullopt;
}

// The printer setup tool's exit code says nothing that counts: the print
// system is asked afterwards.
std::optional<Verdict> FailureOfCommand(Services& s, std::uint32_t timeoutMilliseconds,
                                        const std::u16string& commandLine) {
    std::optional<std::uint32_t> ignored;
    return FailureOfRun(s, PrinterSetupProgram, u"The printer setup tool", timeoutMilliseconds, commandLine, ignored);
}

// A USB printer plugged in before the driver was installed waits without
// one (problem code 28): the package in the driver store, and the devices
// it matches updated, give it its driver without re-plugging. The driver
// store tool's exit code is its verdict.
std::optional<Verdict> FailureOfDriverStore(const UnattendedInstallRequest& request, Services& s) {
    const std::u16string line = AddToDriverStoreCommandLine(request.packageDirectory);
    std::optional<std::uint32_t> code;
    if (auto failed = FailureOfRun(s, DriverStoreProgram, u"The driver store tool (pnputil)", request.timeoutMilliseconds,
                                   line, code))
        return failed;
    if (code == 0u) s.journal.Step(u"updated: the USB devices that the package matches have its driver");
    else if (code == kDriverStoreNothingToUpdate) s.journal.Step(u"checked: no device waits for this driver");
    else if (code == kDriverStoreRestartNeeded)
        s.journal.Step(u"warning: a restart of Windows is needed before the USB printer uses the driver "
                       u"(pnputil exit code 3010)");
    else
        return Failed(u"The driver store tool (pnputil) could not add the driver package or update the devices it "
                      u"matches (exit code " + (code ? Number(*code) : u"unknown") + u"):\n\n" + line);
    return std::nullopt;
}

// Why no printer is taken as ours.
std::u16string NoPrinterOfOurs(const OurPrinterLookup& ours) {
    return u"No printer of the driver " + Quoted(DriverModel) + u" is installed on this machine yet (not " +
           Quoted(PrinterName) + u", nor a USB printer's queue)" + (ours.note.empty() ? u"" : u"; " + ours.note);
}

bool DriverInstalled(const platform::NameList& drivers) {
    return std::find(drivers.names.begin(), drivers.names.end(), DriverModel) != drivers.names.end();
}

const platform::PrinterInfo* Find(const platform::PrinterInfoList& list, std::u16string_view name) {
    for (const auto& printer : list.printers)
        if (printer.name == name) return &printer;
    return nullptr;
}

// The running user's LegacyDefaultPrinterMode, when it is a DWORD.
std::optional<std::uint32_t> LegacyMode(platform::AnsiRegistry& registry) {
    std::optional<std::uint32_t> mode;
    auto subKey = registry.ToAnsi(kUserWindowsKey);
    auto name = registry.ToAnsi(kLegacyDefaultPrinterMode);
    platform::RegHandle key = 0;
    if (!subKey || !name ||
        registry.RegOpenKeyExA(platform::kHkeyCurrentUser, *subKey, 0, kKeyRead, key) != platform::kErrorSuccess)
        return mode;
    std::uint32_t type = 0;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    if (registry.RegQueryValueExA(key, *name, type, reinterpret_cast<std::uint8_t*>(&value), size) ==
            platform::kErrorSuccess &&
        type == platform::kRegDword && size == sizeof value)
        mode = value;
    registry.RegCloseKey(key);
    return mode;
}

long SetLegacyMode(platform::AnsiRegistry& registry) {
    auto subKey = registry.ToAnsi(kUserWindowsKey);
    auto name = registry.ToAnsi(kLegacyDefaultPrinterMode);
    if (!subKey || !name) return platform::kErrorNoUnicodeTranslation;
    platform::RegHandle key = 0;
    long status = registry.RegCreateKeyA(platform::kHkeyCurrentUser, *subKey, key);
    if (status != platform::kErrorSuccess) return status;
    const std::uint32_t one = 1;
    status = registry.RegSetValueExA(key, *name, platform::kRegDword, reinterpret_cast<const std::uint8_t*>(&one),
                                     sizeof one);
    registry.RegCloseKey(key);
    return status;
}

bool RunsAsSystem(platform::Machine& machine) { return machine.RunningUserSid() == u"S-1-5-18"; }

// ---- The steps of an installation; each says what it changed ----

// The printer, once the install command has run: ours, on the port asked
// (moved there when it is on another); for USB only the driver.
std::optional<Verdict> CheckPrinterOnPort(const UnattendedInstallRequest& request, Services& s, bool& changed,
                                          bool& printerThere) {
    const std::u16string& port = request.portName;
    platform::PrinterInfoList printers = s.printers.ListPrinterDetails();
    if (!printers.listed)
        return Failed(u"The installed printers could not be listed to check the installation:\n\n" + printers.reason);
    const platform::PrinterInfo* printer = Find(printers, PrinterName);
    if (request.usb) {
        const platform::NameList drivers = s.printers.ListPrinterDrivers();
        if (!drivers.listed) return Failed(u"The installed printer drivers could not be listed:\n\n" + drivers.reason);
        if (!DriverInstalled(drivers))
            return Failed(u"The printer driver " + Quoted(DriverModel) + u" was not installed.");
        s.journal.Step(u"checked: the printer driver " + Quoted(DriverModel) + u" is installed");
        // A printer of our name on a COM port stays as it is: a machine may have both.
        printerThere = printer && printer->driver == DriverModel;
        return std::nullopt;
    }
    if (!printer) return Failed(u"The printer " + Quoted(PrinterName) + u" was not installed.");
    if (printer->driver != DriverModel)
        return Failed(u"The printer " + Quoted(PrinterName) + u" uses the driver " + Quoted(printer->driver) +
                      u", not " + Quoted(DriverModel) + u"; it is not this tool's, and was left as it is.");
    if (printer->port != port) {
        // The install command adds no printer whose name is taken: ours is
        // moved to the port asked, and keeps everything else.
        const std::u16string from = printer->port;
        if (auto failed = FailureOfCommand(s, request.timeoutMilliseconds, SetPrinterPortCommandLine(PrinterName, port)))
            return failed;
        printers = s.printers.ListPrinterDetails();
        if (!printers.listed)
            return Failed(u"The installed printers could not be listed to check the move:\n\n" + printers.reason);
        printer = Find(printers, PrinterName);
        if (!printer || printer->driver != DriverModel || printer->port != port)
            return Failed(u"The printer " + Quoted(PrinterName) + u" could not be moved from " + from + u" to " + port +
                          u"; it is " + (printer ? u"on " + Quoted(printer->port) : u"gone") + u".");
        s.journal.Step(u"moved from " + from + u" to " + port + u": the printer " + Quoted(PrinterName));
        changed = true;
    }
    s.journal.Step(u"checked: the printer " + Quoted(PrinterName) + u" uses " + Quoted(DriverModel) + u" on " + port);
    printerThere = true;
    return std::nullopt;
}

// The printer as the running user's default.
std::optional<Verdict> MakeDefaultPrinter(const UnattendedInstallRequest& request, Services& s, bool& changed) {
    if (s.printers.DefaultPrinter() == PrinterName) {
        s.journal.Step(u"checked: " + Quoted(PrinterName) + u" is already the default printer of the running user");
    } else {
        if (auto failed = FailureOfCommand(s, request.timeoutMilliseconds, SetDefaultPrinterCommandLine(PrinterName)))
            return failed;
        const std::u16string current = s.printers.DefaultPrinter();
        if (current != PrinterName)
            return Failed(u"The printer " + Quoted(PrinterName) + u" could not be made the default printer; it is " +
                          (current.empty() ? u"none" : Quoted(current)) + u".");
        s.journal.Step(u"checked: " + Quoted(PrinterName) + u" is the default printer of the running user");
        changed = true;
    }
    if (RunsAsSystem(s.machine))
        s.journal.Step(u"note: this run is SYSTEM's, so it set SYSTEM's default printer; signed-in users get " +
                       Quoted(PrinterName) + u" as their default at their next sign-in through the MSI's Active "
                       u"Setup entry, or by running PortSetupCli set-default as the user");
    return std::nullopt;
}

// The COM port's line settings, written and read back.
std::optional<Verdict> StoreSettings(const UnattendedInstallRequest& request, Services& s, bool& changed) {
    const std::u16string& port = request.portName;
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
    const std::u16string key(kChoiceKey);
    long status =
        modRegedit::RegSetString(s.registry, platform::kHkeyLocalMachine, key, u"Port", request.portArgument);
    if (status == platform::kErrorSuccess && !request.usb)
        status = modRegedit::RegSetString(s.registry, platform::kHkeyLocalMachine, key, u"Settings",
                                          request.portSettings);
    if (status != platform::kErrorSuccess)
        return Failed(u"The installation is done, but the choice could not be stored under HKLM\\" + key +
                      u" (status " + Number(static_cast<std::uint64_t>(status)) +
                      u"); the next upgrade or repair would not find it.");
    s.journal.Step(u"stored as the package's choice: Port = " + request.portArgument +
                   (request.usb ? u"" : u", Settings = " + request.portSettings));
    return std::nullopt;
}

}  // namespace

bool WindowsManagesDefault(platform::AnsiRegistry& registry) { return LegacyMode(registry) != 1u; }

Verdict SetDefaultForUser(std::uint32_t timeoutMilliseconds, Services s) {
    const std::uint64_t startedAt = s.machine.Milliseconds();
    const std::u16string account = s.machine.RunningAccountName();
    // Local printers only: a listing of connections would ask every print server.
    const OurPrinterLookup ours = FindOurPrinter(s.printers);
    if (!ours.asked)
        return Failed(u"The print system could not be asked whether the printer " + Quoted(PrinterName) +
                      u" is installed: " + ours.reason);
    if (!ours.printer) return Failed(NoPrinterOfOurs(ours) + u"; nothing was changed.");
    const std::u16string name = ours.printer->name;
    s.journal.Step(u"found: the printer " + Quoted(name) + u" on " + ours.printer->port +
                   (ours.note.empty() ? u"" : u" (" + ours.note + u")"));

    // First, so that Windows does not replace the default as soon as it is set.
    if (WindowsManagesDefault(s.registry)) {
        const long status = SetLegacyMode(s.registry);
        if (status != platform::kErrorSuccess)
            return Failed(u"Windows could not be told to leave the default printer of " + account +
                          u" alone (LegacyDefaultPrinterMode, status " + Number(static_cast<std::uint64_t>(status)) +
                          u"); the default printer was not changed.");
        s.journal.Step(u"set: Windows no longer manages the default printer of " + account +
                       u" (LegacyDefaultPrinterMode = 1)");
    } else {
        s.journal.Step(u"checked: Windows does not manage the default printer of " + account);
    }

    if (s.printers.DefaultPrinter() == name) {
        s.journal.Step(u"checked: " + Quoted(name) + u" is already the default printer of " + account);
        return {};
    }
    const std::uint64_t spent = s.machine.Milliseconds() - startedAt;
    const std::uint32_t left =
        spent < timeoutMilliseconds ? static_cast<std::uint32_t>(timeoutMilliseconds - spent) : 1;
    if (auto failed = FailureOfCommand(s, left, SetDefaultPrinterCommandLine(name)))
        return Failed(failed->message);
    const std::u16string current = s.printers.DefaultPrinter();
    if (current != name)
        return Failed(u"The printer " + Quoted(name) + u" could not be made the default printer of " + account +
                      u"; it is " + (current.empty() ? u"none" : Quoted(current)) + u".");
    s.journal.Step(u"set: " + Quoted(name) + u" is the default printer of " + account);
    return {};
}

std::u16string JobStatusText(std::uint32_t status) {
    static constexpr std::pair<std::uint32_t, std::u16string_view> kNames[] = {
        {0x0001, u"paused"},         {0x0002, u"error"},          {0x0004, u"being deleted"},
        {0x0008, u"spooling"},       {0x0010, u"printing"},       {0x0020, u"offline"},
        {0x0040, u"paper out"},      {0x0080, u"printed"},        {0x0100, u"deleted"},
        {0x0200, u"driver blocked"}, {0x0400, u"needs attention"}, {0x0800, u"restarting"},
        {0x1000, u"complete"},
    };
    std::vector<std::u16string> names;
    for (const auto& [bit, name] : kNames)
        if (status & bit) names.emplace_back(name);
    return names.empty() ? u"waiting" : CommaList(names);
}

Verdict TestPrint(std::uint32_t timeoutMilliseconds, Services s) {
    const std::uint64_t startedAt = s.machine.Milliseconds();
    const OurPrinterLookup ours = FindOurPrinter(s.printers);
    if (!ours.asked)
        return Failed(u"The print system could not be asked for the printer " + Quoted(PrinterName) + u": " + ours.reason);
    if (!ours.printer) return Failed(NoPrinterOfOurs(ours) + u".");
    const std::u16string name = ours.printer->name;
    if (!ours.note.empty()) s.journal.Step(u"found: " + ours.note);
    const std::u16string port = ours.printer->port;
    std::u16string settings;
    const bool com = port.size() > 3 && port.compare(0, 3, u"COM") == 0;
    if (com && ReadPortSettings(s.registry, port, settings) != platform::kErrorSuccess) settings.clear();
    const std::u16string portText = port + (com ? u" (" + (settings.empty() ? u"no settings stored" : settings) + u")" : u"");
    const std::u16string page = u"PortSetup test print\r\nPrinter: " + name + u"\r\nPort: " +
                                portText + u"\r\nTime: " + s.machine.LocalTimestamp() + u"\r\n\r\n\r\n\r\n";
    std::u16string reason;
    const std::uint32_t job = s.printers.PrintRaw(name, u"PortSetup test print", Utf8(page), reason);
    if (job == 0) return Failed(u"The test page could not be sent to " + Quoted(name) + u": " + reason);
    s.journal.Step(u"sent: the test page, job " + Number(job) + u" on " + portText);
    std::uint32_t last = 0;
    for (;;) {
        const auto status = s.printers.JobStatus(name, job, reason);
        if (!status) {
            if (!reason.empty()) return Failed(u"The print queue could not be asked about job " + Number(job) + u": " + reason);
            if (last & 0x0104) return Failed(u"Job " + Number(job) + u" was deleted before it printed.");
            s.journal.Step(u"printed: job " + Number(job) + u" left the queue");
            return {};
        }
        last = *status;
        if (s.machine.Milliseconds() - startedAt >= timeoutMilliseconds) break;
        s.processes.Sleep(500);
    }
    return Failed(u"Job " + Number(job) + u" is still queued after " + Number(timeoutMilliseconds / 1000) +
                  u" s (" + JobStatusText(last) + u"); the port is " + portText +
                  u": check the cable, that the printer is on and has paper, and that its line settings match.");
}

Verdict InstallUnattended(const UnattendedInstallRequest& request, Services s) {
    const std::u16string inf = request.packageDirectory + std::u16string(DriverInfFile);
    if (!s.files.FileExists(inf)) return Failed(u"The driver package's INF file was not found: " + inf);
    s.journal.Step(u"found: " + inf);

    // Whether the printer (for USB: the driver) was there before, so that a
    // run that finds everything as asked can say so.
    bool foundInstalled = false;
    if (request.usb) {
        foundInstalled = DriverInstalled(s.printers.ListPrinterDrivers());
    } else {
        const platform::PrinterInfoList before = s.printers.ListPrinterDetails();
        const platform::PrinterInfo* found = Find(before, PrinterName);
        foundInstalled = found && found->driver == DriverModel && found->port == request.portName;
    }
    // The driver install always runs: a newer package updates the driver.
    const std::u16string install = QuietCommandLine(
        request.usb ? InstallDriverOnlyCommandLine(request.packageDirectory, InfQuoting::Always)
                    : InstallOnComPortCommandLine(request.packageDirectory, request.portName, InfQuoting::Always));
    if (auto failed = FailureOfCommand(s, request.timeoutMilliseconds, install)) return *failed;

    // The print system says whether it worked, not a fixed wait; what is
    // there decides what follows.
    bool changed = false;
    bool printerThere = false;
    if (auto failed = CheckPrinterOnPort(request, s, changed, printerThere)) return *failed;
    if (request.usb)
        if (auto failed = FailureOfDriverStore(request, s)) return *failed;
    if (printerThere)
        if (auto failed = MakeDefaultPrinter(request, s, changed)) return *failed;
    if (!request.usb)
        if (auto failed = StoreSettings(request, s, changed)) return *failed;
    if (request.rememberChoice)
        if (auto failed = RememberChoice(request, s)) return *failed;
    if (foundInstalled && !changed) s.journal.Step(u"already installed as asked");
    return {};
}

namespace {

// The printers of `list` that use DriverModel, by name.
std::vector<std::u16string> UsingOurDriver(const platform::PrinterInfoList& list) {
    std::vector<std::u16string> names;
    for (const auto& printer : list.printers)
        if (printer.driver == DriverModel) names.push_back(printer.name);
    return names;
}

Verdict DriverKeptBy(const std::vector<std::u16string>& users, std::u16string_view why) {
    std::vector<std::u16string> quoted;
    quoted.reserve(users.size());
    for (const auto& name : users) quoted.push_back(Quoted(name));
    return Failed(u"The printer driver " + Quoted(DriverModel) + u" was not deleted: these printers still use it: " +
                  CommaList(quoted) + std::u16string(why));
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
        return DriverKeptBy(left, u" (still listed after their delete: the delete failed, or it waits for print "
                                  u"jobs to end).");
    s.journal.Step(u"checked: the " + Number(found.size()) + u" printer(s) are no longer listed");
    return std::nullopt;
}

}  // namespace

Verdict RemoveUnattended(std::uint32_t timeoutMilliseconds, Services s) {
    const platform::PrinterInfoList before = s.printers.ListPrinterDetails();
    if (!before.listed)
        return Failed(u"The installed printers could not be listed, so nothing was removed:\n\n" + before.reason);
    const std::vector<std::u16string> found = UsingOurDriver(before);
    s.journal.Step(u"found: " + Number(found.size()) + u" printer(s) that use " + Quoted(DriverModel));
    if (found.empty()) {
        const platform::NameList drivers = s.printers.ListPrinterDrivers();
        if (!drivers.listed)
            return Failed(u"The installed printer drivers could not be listed, so nothing was removed:\n\n" +
                          drivers.reason);
        if (!DriverInstalled(drivers)) {
            s.journal.Step(u"checked: the printer driver " + Quoted(DriverModel) +
                           u" is not installed; nothing to remove");
            return {};
        }
    }
    if (auto failed = DeletePrinters(found, timeoutMilliseconds, s)) return *failed;

    if (auto failed = FailureOfCommand(s, timeoutMilliseconds, DeleteDriverCommandLine())) return *failed;
    const platform::NameList drivers = s.printers.ListPrinterDrivers();
    if (!drivers.listed)
        return Failed(u"The driver delete command ran, but the installed printer drivers could not be listed to "
                      u"check that " + Quoted(DriverModel) + u" is gone:\n\n" + drivers.reason);
    if (DriverInstalled(drivers)) {
        // A printer that uses the driver keeps it installed: one added
        // meanwhile is named.
        const platform::PrinterInfoList details = s.printers.ListPrinterDetails();
        const std::vector<std::u16string> users = details.listed ? UsingOurDriver(details) : std::vector<std::u16string>{};
        if (!users.empty()) return DriverKeptBy(users, u" (a printer that uses it keeps it installed).");
        return Failed(u"The printer driver " + Quoted(DriverModel) + u" could not be removed: it is still installed, "
                      u"because a printer still uses it or the print system refused to delete it.");
    }
    s.journal.Step(u"checked: the printer driver " + Quoted(DriverModel) + u" is not installed");
    return {};
}

}  // namespace setup
