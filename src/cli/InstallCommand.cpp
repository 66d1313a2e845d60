// install: the driver and the printer on the port asked, from a package
// that is trusted as it is or copied where no one else can change it, after
// the checks that would make the printer setup tool fail or hang.
#include "cli/FileSafety.h"
#include "cli/MachineRun.h"
#include "cli/Verbs.h"
#include "platform/CommandLineText.h"
#include "setup/Install.h"
#include "setup/PackageTrust.h"
#include "setup/PortDevices.h"
#include "setup/PreChecks.h"
#include "setup/SerialSettings.h"
#include "setup/Status.h"
#include "setup/Text.h"

namespace cli {

namespace {

using setup::Verdict;

// What to install, from the command, with what the run warns about first:
// machines are imaged before the printer is cabled, so a port that is not
// there yet is worth a warning, not a refusal.
setup::UnattendedInstallRequest RequestOf(const Command& command, const platform::Seams& seams,
                                          setup::Journal& journal) {
    setup::UnattendedInstallRequest request;
    request.port = *command.port;
    request.portSettings = command.settings ? *command.settings : setup::DefaultPortSettings();
    request.packageDirectory = platform::DirectoryOf(
        seams.files.FullPath(command.package ? *command.package : seams.machine.ProgramDirectory()) + u"\\");
    request.rememberChoice = command.remember;
    if (command.portAuto) request.device = command.device;
    if (command.timeoutSeconds) request.timeoutMilliseconds = *command.timeoutSeconds * 1000u;
    if (request.port.IsUsb()) return request;
    if (const auto refused = setup::UartCannotApply(request.portSettings)) journal.Step(u"warning: " + *refused);
    const platform::NameList present = setup::ListPresentComPorts(seams.machine);
    if (!present.listed)
        journal.Step(u"warning: the serial ports of this machine cannot be read (" + present.reason + u")");
    else if (const std::u16string absent = setup::AbsentPortWarning(request.port, present.names); !absent.empty())
        journal.Step(u"warning: " + absent);
    return request;
}

// A package others can change is copied into the machine folder, so that no
// one can swap its files before the print system loads them.
class MachineFolderCopier : public setup::PackageCopier {
public:
    explicit MachineFolderCopier(const MachineFolders& folders) : folders_(folders) {}
    std::optional<std::u16string> Copy(platform::HeldFolder& package, std::u16string& copyPath) override {
        if (!folders_.rootFolder) return u"no protected folder is at hand (" + folders_.reason + u")";
        return setup::CopyPackage(package, *folders_.rootFolder, copyPath);
    }

private:
    const MachineFolders& folders_;
};

// Before any change: the plan of the checks, which copies a package others
// can change; what would make the printer setup tool fail, or hang on a
// question nobody sees, is refused with its own exit code.
std::optional<Verdict> RefusedByChecks(setup::UnattendedInstallRequest& request, VerbRun& run) {
    MachineFolderCopier copier(run.machine->Folders());
    setup::PreCheckRequest checks{request.packageDirectory, request.port.IsUsb() ? u"" : request.port.Name(), true};
    checks.copier = &copier;
    checks.usb = request.port.IsUsb();
    const setup::InstallPlan plan = setup::CheckBeforeInstall(checks, run.seams, run.product);
    setup::Journal& journal = run.machine->Journal();
    for (const auto& finding : plan.findings) {
        if (finding.result == setup::Finding::Result::Passed) journal.Step(u"checked: " + finding.detail);
        if (finding.result == setup::Finding::Result::Warning)
            journal.Step(u"warning: " + finding.detail + (finding.fix.empty() ? u"" : u"; " + finding.fix));
    }
    request.packageDirectory = plan.packageDirectory;
    request.packageCopied = plan.packageCopied;
    const setup::Finding* refused = setup::FirstRefusal(plan.findings);
    if (!refused) return std::nullopt;
    // A copy that is not installed does not stay.
    if (plan.packageCopied) setup::RemovePackageCopy(*run.machine->Folders().rootFolder);
    return Verdict{refused->exitCode, refused->detail + u"; nothing was changed. Fix: " + refused->fix};
}

}  // namespace

int RunInstall(VerbRun& run) {
    MachineRun& machine = *run.machine;
    const setup::Services services = machine.Start(run.product);
    Command install = run.command;
    std::vector<std::u16string> warnings;
    const std::u16string misfit = SettleStoredChoice(install, warnings);
    for (const auto& warning : warnings) machine.Journal().Step(u"warning: " + warning);
    if (!misfit.empty()) return machine.Finish({setup::kExitUsage, misfit});
    // --port auto: the port of the one device the pattern matches, before any change.
    if (install.portAuto) {
        const platform::PortDeviceList devices = run.seams.machine.ListPortDevices();
        const setup::DevicePort found = setup::PortOfDevice(devices, *install.device);
        if (!found.port) return machine.Finish(found.Refusal());
        machine.Journal().Step(u"found: --device " + setup::Quoted(*install.device) + u" is " +
                               setup::DeviceLine(*found.device));
        install.port = found.port;
    }
    setup::UnattendedInstallRequest request = RequestOf(install, run.seams, machine.Journal());
    if (const auto refused = RefusedByChecks(request, run)) return machine.Finish(*refused);
    return machine.Finish(setup::InstallUnattended(request, services));
}

}  // namespace cli
