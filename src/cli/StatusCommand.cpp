// status: whether the product is installed as asked, read without changing
// anything; and doctor: install's checks and the status together, the help
// desk's first look, and an Intune remediation's report.
#include "cli/StatusReport.h"
#include "cli/Verbs.h"
#include "platform/CommandLineText.h"
#include "setup/MachineRecord.h"
#include "setup/PortDevices.h"
#include "setup/PreChecks.h"
#include "setup/SerialSettings.h"
#include "setup/Status.h"
#include "setup/Text.h"

namespace cli {

namespace {

// A journal that tells nothing: status reports in one piece at the end.
class Silent : public setup::Journal {
    void Step(std::u16string_view) override {}
};

// The driver package a command looks at: --package's, or the one beside the program.
std::u16string PackageOf(const Command& command, const platform::Seams& seams) {
    return platform::DirectoryOf(
        seams.files.FullPath(command.package ? *command.package : seams.machine.ProgramDirectory()) + u"\\");
}

// Whether the product is installed as `command` asks, as doctor reports it.
setup::Finding InstallationFinding(const Command& command, VerbRun& run) {
    using setup::Finding;
    Silent silent;
    const setup::InstallationStatus status = setup::QueryStatus({run.seams, silent, run.product}, command.port);
    if (!status.listed)
        return {u"installation", Finding::Result::Warning, u"the print system could not be asked: " + status.reason, u"",
                0};
    const auto missing = setup::NotAsAsked(status, command.port, command.settings, false, run.product);
    if (!status.warnings.empty())
        return {u"line settings", Finding::Result::Warning, setup::CommaList(status.warnings),
                u"store settings the port can apply (PortSetupCli install --port COMn --settings ...).", 0};
    if (missing.empty()) return {u"installation", Finding::Result::Passed, u"installed as asked", u"", 0};
    return {u"installation", Finding::Result::Warning, u"not installed as asked: " + setup::CommaList(missing),
            u"run PortSetupCli install with the port and settings wanted (elevated).", 0};
}

// status --stored: the port and settings the machine's record holds stand
// for --port and --settings; none stored, or one not valid, is not as asked.
std::optional<std::u16string> TakeStoredChoice(Command& command, platform::AnsiRegistry& registry) {
    if (!command.asStored) return std::nullopt;
    const setup::StoredChoice stored = setup::ReadStoredChoice(registry);
    if (stored.device) {
        if (!setup::IsDevicePattern(*stored.device))
            return u"the stored device \"" + *stored.device + u"\" is not a part of a device ID";
        command.portAuto = true;
        command.device = stored.device;
    } else {
        if (!stored.port) return u"no port is stored under HKLM\\" + std::u16string(setup::kMachineRecordKey);
        command.port = setup::Port::Parse(*stored.port);
        if (!command.port)
            return u"the stored port \"" + *stored.port + u"\" is not a COM port from COM1 to COM256, nor USB";
        if (command.port->IsUsb()) return std::nullopt;
    }
    std::u16string error;
    const std::u16string port = command.port ? command.port->Name() : u"the device's port";
    if (!stored.settings) return u"no settings are stored for " + port;
    if (!setup::ValidPortSettings(*stored.settings, error)) return u"the stored settings " + error;
    command.settings = stored.settings;
    return std::nullopt;
}

// --port auto: the port of the device the pattern matches, into the
// command. Nothing when there is none to take; then `found` says why.
void FindDevicePort(Command& command, const platform::PortDeviceList& devices, setup::DevicePort& found) {
    if (!command.portAuto) return;
    found = setup::PortOfDevice(devices, *command.device);
    command.port = found.port;
}

}  // namespace

int RunStatus(VerbRun& run) {
    Command command = run.command;
    const std::optional<std::u16string> unstored = TakeStoredChoice(command, run.seams.registry);
    Silent silent;
    const setup::Services services(run.seams, silent, run.product);
    // The device asked for on the command line is found, or refused with its
    // code; a stored one that is not present is not as asked.
    const platform::PortDeviceList devices = run.seams.machine.ListPortDevices();
    setup::DevicePort device;
    FindDevicePort(command, devices, device);
    if (command.portAuto && !command.port && !run.command.asStored) {
        run.console.Err(u"PortSetupCli: " + device.Refusal().message);
        return device.exitCode;
    }
    setup::InstallationStatus status = setup::QueryStatus(services, command.port, devices);
    if (!status.listed) {
        run.console.Err(u"PortSetupCli: the print system could not be asked: " + status.reason);
        return setup::kExitFailed;
    }
    // The versions: the installed driver's, and the package's beside the
    // program (or --package's), from its INF.
    setup::ReadVersions(status, services, PackageOf(command, run.seams));
    std::vector<std::u16string> missing =
        setup::NotAsAsked(status, command.port, command.settings, command.countDefault, run.product);
    // With --package, a driver older than the package's is not as asked:
    // a new package in a deployment is installed where it is needed.
    if (command.package && status.driverInstalled && setup::OlderVersion(status.driverVersion, status.packageVersion))
        missing.push_back(u"the installed driver (version " + status.driverVersion + u") is older than the package's (" +
                          status.packageVersion + u")");
    // With --min-driver-version, an older driver, or one whose version is
    // unknown, is not as asked: a detection that installs a new package.
    if (command.minDriverVersion)
        if (auto below = setup::BelowVersion(status, *command.minDriverVersion)) missing.push_back(std::move(*below));
    if (unstored) missing.push_back(*unstored);
    if (command.portAuto && !command.port) missing.push_back(device.detail);
    // A printer the device left behind: on another port than the device's now.
    if (command.portAuto && command.port)
        for (const auto& printer : status.printers)
            if (printer.name == run.product.printerName && printer.port != command.port->PrintSystemName())
                missing.push_back(u"the printer is on " + printer.port + u", its device is on " +
                                  command.port->PrintSystemName() + u" (" + device.device->name + u")");
    if (command.json) {
        run.console.Out(StatusJson(status, command.port, missing, run.product, command.minDriverVersion,
                                   command.portAuto ? command.device : std::nullopt));
    } else {
        for (const auto& text : StatusLines(status, command.port, missing, run.product)) run.console.Out(text);
    }
    return missing.empty() ? setup::kExitDone : setup::kExitNotInstalled;
}

// doctor: install's checks and the status, changing nothing and needing no rights.
int RunDoctor(VerbRun& run) {
    Command command = run.command;
    std::vector<setup::Finding> findings;
    if (command.portAuto) {
        setup::DevicePort device;
        FindDevicePort(command, run.seams.machine.ListPortDevices(), device);
        if (device.port)
            findings.push_back({u"device", setup::Finding::Result::Passed,
                                u"--device " + setup::Quoted(*command.device) + u" is " + setup::DeviceLine(*device.device),
                                u"", 0});
        else
            findings.push_back({u"device", setup::Finding::Result::Refused, device.detail, device.fix, device.exitCode});
    }
    const std::u16string package = PackageOf(command, run.seams);
    const bool com = command.port && !command.port->IsUsb();
    // Install's own plan, every finding of it; then the status.
    setup::PreCheckRequest checks{package, com ? command.port->Name() : u"", false, true};
    checks.usb = command.port && command.port->IsUsb();
    for (auto& finding : setup::CheckBeforeInstall(checks, run.seams, run.product).findings)
        findings.push_back(std::move(finding));
    findings.push_back(InstallationFinding(command, run));
    const setup::Finding* refused = setup::FirstRefusal(findings);
    const int exitCode = refused ? refused->exitCode : setup::kExitDone;
    if (command.json) run.console.Out(DoctorJson(findings, exitCode));
    else
        for (const auto& text : DoctorLines(findings, exitCode)) run.console.Out(text);
    return exitCode;
}

}  // namespace cli
