#include "setup/Unattended.h"

#include "modules/modRegedit.h"
#include "setup/CommandLines.h"

#include <algorithm>
#include <string>

namespace setup {

namespace {

std::u16string Number(std::uint64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

Verdict Failed(std::u16string message) { return {kExitFailed, std::move(message)}; }

constexpr std::uint32_t kKeyRead = 0x20019;

// Starts one printer setup command and waits for it to end; the verdict when
// it could not be started or did not end in time (it is then left running).
std::optional<Verdict> Run(Services& s, std::uint32_t timeoutMilliseconds, const std::u16string& commandLine) {
    s.journal.Step(u"started: " + commandLine);
    const std::uint64_t startedAt = s.system.Milliseconds();
    platform::StartResult start = s.platform.RunDetached(PrinterSetupProgram, commandLine);
    if (!start.started) return Failed(FailureMessage({Failure::StartFailed, commandLine, start.reason}));
    std::vector<platform::StartedProcess> process;
    process.push_back(std::move(start.process));
    const std::u16string limit = Number(timeoutMilliseconds / 1000) + u" s";
    if (s.platform.WaitForProcesses(process, timeoutMilliseconds) == platform::WaitResult::TimedOut) {
        s.journal.Step(u"not ended within " + limit + u", left running: " + commandLine);
        return Verdict{kExitTimedOut, u"The printer setup tool did not end within " + limit +
                                          u"; it was left running:\n\n" + commandLine};
    }
    const auto exitCode = s.system.ExitCodeOf(process.front());
    s.journal.Step(u"ended with exit code " + (exitCode ? Number(*exitCode) : u"unknown") + u" after " +
                   Number(s.system.Milliseconds() - startedAt) + u" ms: " + commandLine);
    return std::nullopt;
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

bool RunsAsSystem(platform::System& system) { return system.RunningUserSid() == u"S-1-5-18"; }

}  // namespace

bool WindowsManagesDefault(platform::AnsiRegistry& registry) { return LegacyMode(registry) != 1u; }

Verdict SetDefaultForUser(std::uint32_t timeoutMilliseconds, Services s) {
    const std::uint64_t startedAt = s.system.Milliseconds();
    const std::u16string account = s.system.RunningAccountName();
    const platform::PrinterInfoList printers = s.system.ListPrinterDetails();
    if (!printers.listed)
        return Failed(u"The print system could not be asked whether the printer " + Quoted(PrinterName) +
                      u" is installed: " + printers.reason);
    const platform::PrinterInfo* printer = Find(printers, PrinterName);
    if (!printer || printer->driver != DriverModel)
        return Failed(u"The printer " + Quoted(PrinterName) + u" is not installed on this machine" +
                      (printer ? u" (a printer of that name uses the driver " + Quoted(printer->driver) + u")" : u"") +
                      u"; nothing was changed.");

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

    if (s.system.DefaultPrinter() == PrinterName) {
        s.journal.Step(u"checked: " + Quoted(PrinterName) + u" is already the default printer of " + account);
        return {};
    }
    const std::uint64_t spent = s.system.Milliseconds() - startedAt;
    const std::uint32_t left =
        spent < timeoutMilliseconds ? static_cast<std::uint32_t>(timeoutMilliseconds - spent) : 1;
    if (auto failed = Run(s, left, SetDefaultPrinterCommandLine(PrinterName))) return Failed(failed->message);
    const std::u16string current = s.system.DefaultPrinter();
    if (current != PrinterName)
        return Failed(u"The printer " + Quoted(PrinterName) + u" could not be made the default printer of " + account +
                      u"; it is " + (current.empty() ? u"none" : Quoted(current)) + u".");
    s.journal.Step(u"set: " + Quoted(PrinterName) + u" is the default printer of " + account);
    return {};
}

Verdict InstallUnattended(const UnattendedInstallRequest& request, Services s) {
    const std::u16string inf = request.packageDirectory + std::u16string(DriverInfFile);
    if (!s.system.FileExists(inf)) return Failed(u"The driver package's INF file was not found: " + inf);
    s.journal.Step(u"found: " + inf);

    const std::u16string& port = request.connection.portName;
    const std::u16string install = QuietCommandLine(
        request.connection.usb
            ? InstallDriverOnlyCommandLine(request.packageDirectory, InfQuoting::Always)
            : InstallOnComPortCommandLine(request.packageDirectory, port, InfQuoting::Always));
    // Whether the printer (for USB: the driver) was there before, so that a
    // run that finds everything as asked can say so.
    bool foundInstalled = false;
    if (request.connection.usb) {
        foundInstalled = DriverInstalled(s.platform.ListPrinterDrivers());
    } else {
        const platform::PrinterInfoList before = s.system.ListPrinterDetails();
        const platform::PrinterInfo* found = Find(before, PrinterName);
        foundInstalled = found && found->driver == DriverModel && found->port == port;
    }
    if (auto failed = Run(s, request.timeoutMilliseconds, install)) return *failed;

    // The print system says whether it worked, not a fixed wait. The install
    // command adds no printer whose name is taken and changes nothing of it:
    // what is there decides what follows.
    platform::PrinterInfoList printers = s.system.ListPrinterDetails();
    if (!printers.listed) return Failed(u"The installed printers could not be listed to check the installation:\n\n" +
                                        printers.reason);
    const platform::PrinterInfo* printer = Find(printers, PrinterName);
    bool changed = false;
    if (request.connection.usb) {
        const platform::NameList drivers = s.platform.ListPrinterDrivers();
        if (!drivers.listed) return Failed(u"The installed printer drivers could not be listed:\n\n" + drivers.reason);
        if (!DriverInstalled(drivers))
            return Failed(u"The printer driver " + Quoted(DriverModel) + u" was not installed.");
        s.journal.Step(u"checked: the printer driver " + Quoted(DriverModel) + u" is installed");
        // A printer of our name on a COM port stays as it is: a machine may have both.
        if (printer && printer->driver != DriverModel) printer = nullptr;
    } else {
        if (!printer) return Failed(u"The printer " + Quoted(PrinterName) + u" was not installed.");
        if (printer->driver != DriverModel)
            return Failed(u"The printer " + Quoted(PrinterName) + u" uses the driver " + Quoted(printer->driver) +
                          u", not " + Quoted(DriverModel) + u"; it is not this tool's, and was left as it is.");
        if (printer->port != port) {
            const std::u16string from = printer->port;
            if (auto failed = Run(s, request.timeoutMilliseconds, SetPrinterPortCommandLine(PrinterName, port)))
                return *failed;
            printers = s.system.ListPrinterDetails();
            if (!printers.listed)
                return Failed(u"The installed printers could not be listed to check the move:\n\n" + printers.reason);
            printer = Find(printers, PrinterName);
            if (!printer || printer->driver != DriverModel || printer->port != port)
                return Failed(u"The printer " + Quoted(PrinterName) + u" could not be moved from " + from + u" to " +
                              port + u"; it is " + (printer ? u"on " + Quoted(printer->port) : u"gone") + u".");
            s.journal.Step(u"moved from " + from + u" to " + port + u": the printer " + Quoted(PrinterName));
            changed = true;
        }
        s.journal.Step(u"checked: the printer " + Quoted(PrinterName) + u" uses " + Quoted(DriverModel) + u" on " +
                       port);
    }

    if (printer) {
        if (s.system.DefaultPrinter() == PrinterName) {
            s.journal.Step(u"checked: " + Quoted(PrinterName) + u" is already the default printer of the running user");
        } else {
            if (auto failed = Run(s, request.timeoutMilliseconds, SetDefaultPrinterCommandLine(PrinterName)))
                return *failed;
            const std::u16string current = s.system.DefaultPrinter();
            if (current != PrinterName)
                return Failed(u"The printer " + Quoted(PrinterName) + u" could not be made the default printer; it is " +
                              (current.empty() ? u"none" : Quoted(current)) + u".");
            s.journal.Step(u"checked: " + Quoted(PrinterName) + u" is the default printer of the running user");
            changed = true;
        }
        if (RunsAsSystem(s.system))
            s.journal.Step(u"note: this run is SYSTEM's, so it set SYSTEM's default printer; signed-in users get " +
                           Quoted(PrinterName) + u" as their default at their next sign-in through the MSI's Active "
                           u"Setup entry, or by running PortSetupCli set-default as the user");
    }

    if (!request.connection.usb) {
        std::u16string stored;
        auto read = [&] {
            return modRegedit::RegGetString(s.registry, platform::kHkeyLocalMachine, std::u16string(kPortsKey), port,
                                            stored);
        };
        if (read() == platform::kErrorSuccess && stored == request.portSettings) {
            s.journal.Step(u"checked: " + port + u" = " + stored + u" is already stored");
        } else {
            const long written = StorePortSettings(s.registry, port, request.portSettings);
            const long readBack = read();
            if (written != platform::kErrorSuccess || readBack != platform::kErrorSuccess ||
                stored != request.portSettings)
                return Failed(u"The settings of " + port + u" could not be stored (status " +
                              Number(static_cast<std::uint64_t>(written != 0 ? written : readBack)) + u").");
            s.journal.Step(u"stored: " + port + u" = " + stored);
            changed = true;
        }
    }
    if (request.rememberChoice) {
        const std::u16string key(kChoiceKey);
        long status = modRegedit::RegSetString(s.registry, platform::kHkeyLocalMachine, key, u"Port",
                                               request.portArgument);
        if (status == platform::kErrorSuccess && !request.connection.usb)
            status = modRegedit::RegSetString(s.registry, platform::kHkeyLocalMachine, key, u"Settings",
                                              request.portSettings);
        if (status != platform::kErrorSuccess)
            return Failed(u"The installation is done, but the choice could not be stored under HKLM\\" + key +
                          u" (status " + Number(static_cast<std::uint64_t>(status)) +
                          u"); the next upgrade or repair would not find it.");
        s.journal.Step(u"stored as the package's choice: Port = " + request.portArgument +
                       (request.connection.usb ? u"" : u", Settings = " + request.portSettings));
    }
    if (foundInstalled && !changed) s.journal.Step(u"already installed as asked");
    return {};
}

Verdict RemoveUnattended(std::uint32_t timeoutMilliseconds, Services s) {
    auto using_ = [](const platform::PrinterInfoList& list) {
        std::vector<std::u16string> names;
        for (const auto& printer : list.printers)
            if (printer.driver == DriverModel) names.push_back(printer.name);
        return names;
    };
    const platform::PrinterInfoList before = s.system.ListPrinterDetails();
    if (!before.listed)
        return Failed(FailureMessage({Failure::ListingFailed, {}, before.reason}));
    const std::vector<std::u16string> found = using_(before);
    s.journal.Step(u"found: " + Number(found.size()) + u" printer(s) that use " + Quoted(DriverModel));
    if (found.empty()) {
        const platform::NameList drivers = s.platform.ListPrinterDrivers();
        if (!drivers.listed) return Failed(FailureMessage({Failure::DriverCheckFailed, {}, drivers.reason}));
        if (!DriverInstalled(drivers)) {
            s.journal.Step(u"checked: the printer driver " + Quoted(DriverModel) +
                           u" is not installed; nothing to remove");
            return {};
        }
    }

    for (const std::u16string& name : found) {
        if (auto failed = Run(s, timeoutMilliseconds, SetDefaultPrinterCommandLine(name))) return *failed;
        // Jobs still queued would only mark the printer for deletion; they
        // cannot print once it is gone.
        std::u16string reason;
        if (s.system.PurgePrintJobs(name, reason))
            s.journal.Step(u"purged: the print jobs of " + Quoted(name));
        else
            s.journal.Step(u"warning: the print jobs of " + Quoted(name) + u" could not be purged: " + reason);
        if (auto failed = Run(s, timeoutMilliseconds, QuietCommandLine(DeletePrinterCommandLine(name)))) return *failed;
    }

    // The driver delete only once the printers found are gone. Their names
    // are enough to see that: a names listing costs the print system a
    // fraction of a detailed one, which is only needed to name the printers
    // that keep the driver.
    auto notDeletedFor = [&](const std::vector<std::u16string>& users, std::u16string_view why) {
        std::vector<std::u16string> quoted;
        quoted.reserve(users.size());
        for (const auto& name : users) quoted.push_back(Quoted(name));
        return Failed(u"The printer driver " + Quoted(DriverModel) + u" was not deleted: these printers still use it: " +
                      CommaList(quoted) + std::u16string(why));
    };
    if (!found.empty()) {
        const platform::NameList after = s.platform.ListPrinters();
        if (!after.listed) return Failed(FailureMessage({Failure::ListingFailed, {}, after.reason}));
        std::vector<std::u16string> left;
        for (const auto& name : found)
            if (std::find(after.names.begin(), after.names.end(), name) != after.names.end()) left.push_back(name);
        if (!left.empty())
            return notDeletedFor(left, u" (still listed after their delete: the delete failed, or it waits for print "
                                       u"jobs to end).");
        s.journal.Step(u"checked: the " + Number(found.size()) + u" printer(s) are no longer listed");
    }

    if (auto failed = Run(s, timeoutMilliseconds, DeleteDriverCommandLine())) return *failed;
    const platform::NameList drivers = s.platform.ListPrinterDrivers();
    if (!drivers.listed) return Failed(FailureMessage({Failure::DriverCheckFailed, {}, drivers.reason}));
    if (DriverInstalled(drivers)) {
        // A printer that uses the driver keeps it installed: one added
        // meanwhile is named.
        const platform::PrinterInfoList details = s.system.ListPrinterDetails();
        const std::vector<std::u16string> users = details.listed ? using_(details) : std::vector<std::u16string>{};
        if (!users.empty()) return notDeletedFor(users, u" (a printer that uses it keeps it installed).");
        return Failed(FailureMessage({Failure::DriverStillInstalled, {}, {}}));
    }
    s.journal.Step(u"checked: the printer driver " + Quoted(DriverModel) + u" is not installed");
    return {};
}

std::vector<std::u16string> PresentComPorts(const std::vector<std::u16string>& serialPorts) {
    std::vector<std::uint64_t> numbers;
    for (const auto& name : serialPorts) {
        // "COM" in any case, then a number without leading zeros.
        if (name.size() < 4 || name.size() > 13 || name[3] == u'0') continue;
        bool com = true;
        for (std::size_t i = 0; i < 3; ++i) com = com && (name[i] | 0x20) == u"com"[i];
        std::uint64_t number = 0;
        for (std::size_t i = 3; i < name.size() && com; ++i) {
            com = name[i] >= u'0' && name[i] <= u'9';
            number = number * 10 + static_cast<std::uint64_t>(name[i] - u'0');
        }
        if (com) numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::u16string> ports;
    ports.reserve(numbers.size());
    for (std::uint64_t n : numbers) ports.push_back(u"COM" + Number(n));
    return ports;
}

platform::NameList ListPresentComPorts(platform::System& system) {
    platform::NameList serial = system.ListSerialCommPorts();
    if (serial.listed) serial.names = PresentComPorts(serial.names);
    return serial;
}

std::u16string CommaList(const std::vector<std::u16string>& items) {
    std::u16string list;
    for (const auto& item : items) list += (list.empty() ? u"" : u", ") + item;
    return list;
}

std::u16string AbsentPortWarning(std::u16string_view port, const std::vector<std::u16string>& present) {
    if (std::find(present.begin(), present.end(), port) != present.end()) return {};
    return std::u16string(port) + u" is not present on this machine; present: " +
           (present.empty() ? u"none" : CommaList(present));
}

InstallationStatus QueryStatus(Services s) {
    InstallationStatus status;
    const platform::NameList drivers = s.platform.ListPrinterDrivers();
    const platform::PrinterInfoList printers = s.system.ListPrinterDetails();
    if (!drivers.listed || !printers.listed) {
        status.reason = !drivers.listed ? drivers.reason : printers.reason;
        return status;
    }
    status.listed = true;
    status.driverInstalled = DriverInstalled(drivers);
    status.defaultPrinter = s.system.DefaultPrinter();
    status.account = s.system.RunningAccountName();
    status.windowsManagesDefault = WindowsManagesDefault(s.registry);
    for (const auto& printer : printers.printers)
        if (printer.driver == DriverModel)
            status.printers.push_back({printer.name, printer.port, printer.name == status.defaultPrinter});
    status.presentComPorts = ListPresentComPorts(s.system);
    for (int i = 0; i < 4; ++i) {
        std::u16string value;
        const std::u16string name = u"COM" + Number(static_cast<std::uint64_t>(i) + 1) + u":";
        if (modRegedit::RegGetString(s.registry, platform::kHkeyLocalMachine, std::u16string(kPortsKey), name, value) ==
            platform::kErrorSuccess)
            status.ports[static_cast<std::size_t>(i)] = value;
    }
    return status;
}

std::vector<std::u16string> NotAsAsked(const InstallationStatus& status, std::u16string_view portName,
                                       const std::optional<std::u16string>& portSettings) {
    if (!status.listed) return {u"the print system could not be asked"};
    std::vector<std::u16string> missing;
    if (!status.driverInstalled) missing.push_back(u"the printer driver " + Quoted(DriverModel) + u" is not installed");
    if (portName.empty()) return missing;
    const auto printer = std::find_if(status.printers.begin(), status.printers.end(),
                                      [](const InstallationStatus::Printer& p) { return p.name == PrinterName; });
    if (printer == status.printers.end())
        missing.push_back(u"no printer " + Quoted(PrinterName) + u" uses the driver");
    else if (printer->port != portName)
        missing.push_back(u"the printer " + Quoted(PrinterName) + u" is on " + printer->port + u", not " +
                          std::u16string(portName));
    if (status.defaultPrinter != PrinterName)
        missing.push_back(Quoted(PrinterName) + u" is not the default printer");
    const std::size_t index = portName.size() == 5 ? static_cast<std::size_t>(portName[3] - u'1') : status.ports.size();
    if (index < status.ports.size()) {
        const auto& value = status.ports[index];
        if (!value) missing.push_back(u"no settings are stored for " + std::u16string(portName));
        else if (portSettings && *value != *portSettings)
            missing.push_back(u"the settings of " + std::u16string(portName) + u" are " + *value + u", not " +
                              *portSettings);
    }
    return missing;
}

}  // namespace setup
