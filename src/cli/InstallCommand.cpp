// install: the driver and the printer on the port asked, from a package
// that is trusted as it is or copied where no one else can change it, after
// the checks that would make the printer setup tool fail or hang.
#include "cli/FileSafety.h"
#include "cli/MachineRun.h"
#include "cli/Verbs.h"
#include "platform/CommandLineText.h"
#include "setup/Install.h"
#include "setup/PreChecks.h"
#include "setup/SerialSettings.h"
#include "setup/Status.h"

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
    if (command.timeoutSeconds) request.timeoutMilliseconds = *command.timeoutSeconds * 1000u;
    if (request.port.IsUsb()) return request;
    const platform::NameList present = setup::ListPresentComPorts(seams.machine);
    if (!present.listed)
        journal.Step(u"warning: the serial ports of this machine cannot be read (" + present.reason + u")");
    else if (const std::u16string absent = setup::AbsentPortWarning(request.port, present.names); !absent.empty())
        journal.Step(u"warning: " + absent);
    return request;
}

// The driver package the printer setup tool gets: where it is, when no one
// but the trusted accounts can change it; else a copy in the machine folder,
// so that no one can swap its files before the print system loads them. A
// package with a link or a file of several names anywhere is refused.
std::optional<Verdict> UseTrustedPackage(setup::UnattendedInstallRequest& request, const MachineFolders& folders,
                                         const platform::Seams& seams, setup::Journal& journal) {
    // A missing folder is the install's own refusal, with its own message.
    if (!seams.files.Examine(request.packageDirectory).exists) return std::nullopt;
    PackageExamination package = ExaminePackage(seams.files, request.packageDirectory, seams.machine.RunningUserSid());
    if (package.verdict == PackageExamination::Verdict::Refused)
        return Verdict{package.link ? setup::kExitPackageHasLinks : setup::kExitPackageNotUsable,
                       u"the driver package is not used: " + package.why +
                           u"; nothing was changed. Fix: copy the vendor's package as plain files to a folder only "
                           u"administrators can change (Program Files) and give that folder with --package."};
    if (package.verdict == PackageExamination::Verdict::Trusted) return std::nullopt;
    if (!folders.rootFolder)
        return Verdict{setup::kExitPackageNotUsable,
                       u"the driver package can be changed by others (" + package.why +
                           u") and cannot be copied to a protected folder (" + folders.reason +
                           u"); copy it to a folder only administrators can change and give that folder with --package."};
    std::u16string copy;
    if (const auto failed = CopyPackage(*package.folder, *folders.rootFolder, copy))
        return Verdict{setup::kExitPackageNotUsable,
                       u"the driver package can be changed by others (" + package.why + u") and could not be copied: " +
                           *failed + u"; copy it to a folder only administrators can change and give that folder "
                           u"with --package."};
    journal.Step(u"the driver package can be changed by others (" + package.why + u"): installing from a copy in " +
                 copy);
    request.packageDirectory = copy;
    request.packageCopied = true;
    return std::nullopt;
}

// Before any change: what would make the printer setup tool fail, or hang
// on a question nobody sees, is refused with its own exit code.
std::optional<Verdict> RefusedByChecks(const setup::UnattendedInstallRequest& request, VerbRun& run) {
    setup::PreCheckRequest checks{request.packageDirectory, request.port.IsUsb() ? u"" : request.port.Name(), true};
    checks.othersCouldChange = request.packageCopied;
    const auto findings = setup::CheckBeforeInstall(checks, run.seams, run.product);
    setup::Journal& journal = run.machine->Journal();
    for (const auto& finding : findings) {
        if (finding.result == setup::Finding::Result::Passed) journal.Step(u"checked: " + finding.detail);
        if (finding.result == setup::Finding::Result::Warning)
            journal.Step(u"warning: " + finding.detail + (finding.fix.empty() ? u"" : u"; " + finding.fix));
    }
    const setup::Finding* refused = setup::FirstRefusal(findings);
    if (!refused) return std::nullopt;
    // A copy that is not installed does not stay.
    if (request.packageCopied) RemovePackageCopy(*run.machine->Folders().rootFolder);
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
    setup::UnattendedInstallRequest request = RequestOf(install, run.seams, machine.Journal());
    if (const auto refused = UseTrustedPackage(request, machine.Folders(), run.seams, machine.Journal()))
        return machine.Finish(*refused);
    if (const auto refused = RefusedByChecks(request, run)) return machine.Finish(*refused);
    return machine.Finish(setup::InstallUnattended(request, services));
}

}  // namespace cli
