#include "cli/Cli.h"

#include "cli/MachineRun.h"
#include "cli/Verbs.h"
#include "setup/Architecture.h"
#include "setup/ExitCodes.h"
#include "setup/PackageTrust.h"

namespace cli {

namespace {

// A refused command line: the usage and its event. Nothing of the machine
// is changed, no folder made or log written: the refused text is only
// recorded in the event, never used.
int RefuseBadUsage(const CommandLine& line, const platform::Seams& seams, Console& console) {
    const Parsed& parsed = line.parsed;
    console.Err(u"PortSetupCli: " + parsed.error + u"\n\n" + UsageText());
    ReportRunEvent(seams, line, setup::kExitUsage, u"bad usage: " + parsed.error);
    return setup::kExitUsage;
}

// A run refused before it began: said, and its event.
int Refuse(const CommandLine& line, const platform::Seams& seams, Console& console, int exitCode,
           std::u16string_view why) {
    console.Err(u"PortSetupCli: " + std::u16string(why));
    console.Out(u"failed");
    ReportRunEvent(seams, line, exitCode, why);
    return exitCode;
}

// Why this run may not start, or nothing: the 32-bit program on 64-bit
// Windows would do the job half right; the machine's commands need
// administrator rights, and a program no other account can replace.
std::optional<std::pair<int, std::u16string>> WhyNotStarted(const Verb& verb, const platform::Seams& seams) {
    if (const auto wrong = setup::WrongWindowsFor(seams.machine.ProgramProcessor(), seams.machine.NativeProcessor(),
                                                  u"PortSetupCli.exe"))
        return std::pair{setup::kExitWrongProcessor, *wrong};
    if (verb.needsAdministrator && !seams.machine.IsAdministrator())
        return std::pair{setup::kExitNotAdministrator,
                         std::u16string(u"install and remove need administrator rights: run PortSetupCli elevated, or "
                                        u"as SYSTEM.")};
    if (!verb.takesMachineRun) return std::nullopt;
    // What SYSTEM runs at every install, repair, uninstall and sign-in must
    // be out of every other account's reach.
    const setup::PackageExamination program =
        setup::ExaminePackage(seams.files, seams.machine.ProgramDirectory(), seams.machine.RunningUserSid());
    if (program.verdict == setup::PackageExamination::Verdict::Trusted) return std::nullopt;
    return std::pair{setup::kExitProgramFolderUnsafe,
                     u"PortSetupCli.exe runs elevated from a folder others can change (" + program.why +
                         u"); nothing was changed. Fix: install it with the MSI (into Program Files), or copy it to a "
                         u"folder only administrators can change and run it from there."};
}

}  // namespace

int RunCli(const CommandLine& line, const platform::Seams& seams, Console& console, const setup::Product& product) {
    if (!line.parsed.command) return RefuseBadUsage(line, seams, console);
    const Command& command = *line.parsed.command;
    if (command.action == Action::Help) {
        console.Out(UsageText());
        return setup::kExitDone;
    }
    if (command.action == Action::Version) {
        console.Out(u"PortSetupCli " + std::u16string(PORTSETUP_VERSION_TEXT));
        return setup::kExitDone;
    }
    const Verb& verb = *VerbFor(command.action);
    if (const auto refused = WhyNotStarted(verb, seams))
        return Refuse(line, seams, console, refused->first, refused->second);
    VerbRun run{line, command, seams, console, product};
    if (!verb.takesMachineRun) return verb.run(run);
    MachineRun machine(line, seams, console);
    if (machine.AnotherRun())
        return machine.Finish({setup::kExitAlreadyRunning, u"another PortSetupCli run is in progress on this machine; "
                                                           u"try again when it has ended."});
    run.machine = &machine;
    return verb.run(run);
}

}  // namespace cli
