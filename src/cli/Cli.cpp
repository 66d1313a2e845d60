#include "cli/Cli.h"

#include "cli/FileSafety.h"
#include "cli/RunLog.h"
#include "cli/StatusReport.h"
#include "modules/modRegedit.h"
#include "platform/CommandLineText.h"
#include "setup/CommandLines.h"
#include "setup/PreChecks.h"
#include "setup/RunEvents.h"
#include "setup/SerialSettings.h"
#include "setup/Unattended.h"
#include "setup/Workflows.h"
#include "setup/Text.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

namespace {

using setup::Verdict;

// A journal that tells nothing: status reports in one piece at the end.
class Silent : public setup::Journal {
    void Step(std::u16string_view) override {}
};

// Each step goes to stdout as it happens, and to the log; the warnings are
// kept for the run's event as well.
class ConsoleJournal : public setup::Journal {
public:
    ConsoleJournal(Console& console, RunLog& log) : console_(console), log_(log) {}
    void Step(std::u16string_view line) override {
        console_.Out(line);
        log_.Write(line);
        static constexpr std::u16string_view kWarning = u"warning: ";
        if (line.substr(0, kWarning.size()) == kWarning) warnings.emplace_back(line.substr(kWarning.size()));
    }

    std::vector<std::u16string> warnings;

private:
    Console& console_;
    RunLog& log_;
};

RunLog::Complaint ComplainTo(Console& console) {
    return [&console](std::u16string_view text) { console.Err(u"PortSetupCli: " + std::u16string(text)); };
}

// The log of an elevated run: --log's file, or the machine log in its
// checked folder; the writers' lock lives in the machine folder.
RunLog OpenLog(const std::optional<std::u16string>& given, const MachineFolders& folders,
               const platform::Seams& seams, Console& console) {
    RunLog log(seams.machine, seams.files, ComplainTo(console));
    if (given) log.AddGivenLog(seams.files.FullPath(*given));
    else if (folders.logsFolder) log.AddMachineLog(folders.logsFolder, folders.rootFolder);
    else log.MachineLogNotWritten(folders.reason);
    return log;
}

// A refused command line: the usage and its event. Nothing of the machine
// is changed, no folder made or log written: the refused text is only
// recorded in the event, never used.
int RefuseBadUsage(const CommandLine& line, const platform::Seams& seams, Console& console) {
    const Parsed& parsed = line.parsed;
    console.Err(u"PortSetupCli: " + parsed.error + u"\n\n" + UsageText());
    ReportRunEvent(seams.events, line, setup::kExitUsage, u"bad usage: " + parsed.error);
    return setup::kExitUsage;
}

// The COM port a command names ("COM7"); empty for USB or none.
std::u16string AskedComPort(const Command& command) {
    return command.port && *command.port != u"USB" ? *command.port : u"";
}

int Status(const Command& command, const platform::Seams& seams, Console& console) {
    Silent silent;
    setup::InstallationStatus status = setup::QueryStatus({seams, silent}, AskedComPort(command));
    if (!status.listed) {
        console.Err(u"PortSetupCli: the print system could not be asked: " + status.reason);
        return setup::kExitFailed;
    }
    // The versions: the installed driver's, and the package's beside the
    // program (or --package's), from its INF.
    if (status.driverInstalled) status.driverVersion = seams.printers.DriverVersion(setup::DriverModel);
    const std::u16string package = platform::DirectoryOf(
        seams.files.FullPath(command.package ? *command.package : seams.machine.ProgramDirectory()) + u"\\");
    std::u16string unread;
    if (const auto inf = platform::ReadFileIn(seams.files, package, std::u16string(setup::DriverInfFile).substr(1),
                                              4u << 20, unread))
        status.packageVersion = setup::VersionOfDriverVer(
            setup::ReadInf(*inf, seams.machine.NativeProcessor(), setup::DriverModel).driverVer);
    std::vector<std::u16string> missing =
        setup::NotAsAsked(status, command.port ? PortNameOf(*command.port) : u"", command.settings, command.countDefault);
    // With --package, a driver older than the package's is not as asked:
    // a new package in a deployment is installed where it is needed.
    if (command.package && status.driverInstalled && setup::OlderVersion(status.driverVersion, status.packageVersion))
        missing.push_back(u"the installed driver (version " + status.driverVersion + u") is older than the package's (" +
                          status.packageVersion + u")");
    if (command.json) {
        console.Out(StatusJson(status, command.port, missing));
    } else {
        for (const auto& text : StatusLines(status, command.port, missing)) console.Out(text);
    }
    return missing.empty() ? setup::kExitDone : setup::kExitFailed;
}

// doctor: install's checks and the status, changing nothing and needing no
// rights; the help desk's first look, and an Intune remediation's report.
int Doctor(const Command& command, const platform::Seams& seams, Console& console) {
    using setup::Finding;
    const std::u16string package = platform::DirectoryOf(
        seams.files.FullPath(command.package ? *command.package : seams.machine.ProgramDirectory()) + u"\\");
    const bool com = command.port && *command.port != u"USB";
    std::vector<Finding> findings =
        setup::CheckBeforeInstall({package, com ? *command.port : u"", false, true}, seams);
    if (seams.files.Examine(package).exists) {
        const PackageExamination examined = ExaminePackage(seams.files, package, seams.machine.RunningUserSid());
        if (examined.verdict == PackageExamination::Verdict::Refused)
            findings.push_back({u"package folder", Finding::Result::Refused, u"the driver package is not used: " + examined.why,
                                u"copy the vendor's package as plain files to a folder only administrators can change.",
                                examined.link ? setup::kExitPackageHasLinks : setup::kExitPackageNotUsable});
        else if (examined.verdict == PackageExamination::Verdict::Changeable)
            findings.push_back({u"package folder", Finding::Result::Warning,
                                u"others can change the driver package (" + examined.why +
                                    u"); install copies it to a protected folder first and installs it only when "
                                    u"its catalog is signed by a trusted publisher and lists every file",
                                u"keep the package where only administrators can change it (Program Files).", 0});
    }
    Silent silent;
    const setup::InstallationStatus status = setup::QueryStatus({seams, silent}, AskedComPort(command));
    if (!status.listed) {
        findings.push_back({u"installation", Finding::Result::Warning, u"the print system could not be asked: " +
                            status.reason, u"", 0});
    } else if (const auto missing = setup::NotAsAsked(status, command.port ? PortNameOf(*command.port) : u"",
                                                      command.settings, false);
               missing.empty()) {
        findings.push_back({u"installation", Finding::Result::Passed, u"installed as asked", u"", 0});
    } else {
        findings.push_back({u"installation", Finding::Result::Warning,
                            u"not installed as asked: " + setup::CommaList(missing),
                            u"run PortSetupCli install with the port and settings wanted (elevated).", 0});
    }
    const Finding* refused = setup::FirstRefusal(findings);
    const int exitCode = refused ? refused->exitCode : setup::kExitDone;
    if (command.json) console.Out(DoctorJson(findings, exitCode));
    else
        for (const auto& text : DoctorLines(findings, exitCode)) console.Out(text);
    return exitCode;
}

// test-print: a page through the print system, watched until it has
// printed; no rights needed, nothing of the machine's changed.
int TestPrint(const Command& command, const platform::Seams& seams, Console& console) {
    class Steps : public setup::Journal {
    public:
        explicit Steps(Console& console) : console_(console) {}
        void Step(std::u16string_view text) override { console_.Out(text); }

    private:
        Console& console_;
    } steps(console);
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultTestPrintMilliseconds;
    const Verdict verdict = setup::TestPrint(timeout, {seams, steps});
    if (verdict.failed()) console.Err(u"PortSetupCli: " + verdict.message);
    console.Out(verdict.failed() ? u"failed" : u"done");
    return verdict.failed() ? setup::kExitFailed : setup::kExitDone;
}

// set-default: the running user's own default printer, with no rights, lock
// or log of the machine's; its output and its event are its record.
int SetDefault(const CommandLine& line, const platform::Seams& seams, Console& console) {
    const Command& command = *line.parsed.command;
    class Steps : public setup::Journal {
    public:
        Steps(Console& console, bool quiet) : console_(console), quiet_(quiet) {}
        void Step(std::u16string_view text) override {
            if (!quiet_) console_.Out(text);
        }

    private:
        Console& console_;
        bool quiet_;
    } steps(console, command.quiet);
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultSetTimeoutMilliseconds;
    const Verdict verdict = setup::SetDefaultForUser(timeout, {seams, steps});
    const int exitCode = verdict.failed() ? setup::kExitFailed : setup::kExitDone;
    std::vector<std::u16string> warnings;
    if (verdict.failed() && command.quiet) warnings.push_back(ArrangeRetryAtNextSignIn(seams.machine, seams.registry));
    ReportRunEvent(seams.events, line, exitCode, verdict.message, {}, warnings);
    if (verdict.failed()) console.Err(u"PortSetupCli: " + verdict.message);
    for (const auto& warning : warnings) console.Err(u"PortSetupCli: " + warning);
    if (!command.quiet) console.Out(verdict.failed() ? u"failed" : u"done");
    return exitCode;
}

// An elevated install or remove: its machine folders, its log and the
// single-run lock, its steps on the console and in the log, and its end
// (the verdict, everywhere it is looked for).
class MachineRun {
public:
    MachineRun(const CommandLine& line, const platform::Seams& seams, Console& console)
        : line_(line), seams_(seams), console_(console),
          folders_(PrepareMachineFolders(seams.machine, seams.files)),
          log_(OpenLog(line.parsed.command->log, folders_, seams, console)), journal_(console, log_) {
        // One run at a time, through a lock that only administrators can
        // create or hold, and that the system lets go when a run ends or is
        // killed: a mutex in the administrators' private namespace, or where
        // the system has none (Wine), a lock file in the machine folder.
        // Taken before the first log line: the run in progress holds the
        // log's lock for its whole run.
        singleRun_ = seams.files.TakeAdministratorsLock(u"SingleRun");
        if (singleRun_.outcome == platform::LockAttempt::Outcome::Failed && folders_.rootFolder)
            singleRun_ = TakeCheckedLock(*folders_.rootFolder, kSingleRunLockName, 0, seams.machine.RunningUserSid());
        if (AnotherRun()) log_.DoNotWait();
        log_.Write(u"run: " + ShownCommandLine(line));
        for (const auto& done : folders_.takenBack) {
            warnings_.push_back(u"the machine folder was taken back: " + done);
            log_.Write(u"warning: " + warnings_.back());
            console.Err(u"PortSetupCli: " + warnings_.back());
        }
        if (singleRun_.outcome == platform::LockAttempt::Outcome::Failed) {
            warnings_.push_back(u"the single-run lock cannot be taken (" +
                                (folders_.rootFolder ? singleRun_.reason : folders_.reason) + u"); going on without it.");
            console.Err(u"PortSetupCli: " + warnings_.back());
        }
    }

    bool AnotherRun() const { return singleRun_.outcome == platform::LockAttempt::Outcome::HeldElsewhere; }
    const MachineFolders& Folders() const { return folders_; }

    // The run's services, once it is the only run.
    setup::Services Start() {
        log_.HoldLock();
        return {seams_, journal_};
    }
    setup::Journal& Journal() { return journal_; }

    int Finish(const Verdict& verdict) {
        if (verdict.failed()) console_.Err(u"PortSetupCli: " + verdict.message);
        log_.Write(u"verdict: " + std::u16string(verdict.failed() ? u"failed" : u"done") + u", exit code " +
                   setup::Number(static_cast<std::uint64_t>(verdict.exitCode)) +
                   (verdict.message.empty() ? u"" : u": " + verdict.message));
        console_.Out(verdict.failed() ? u"failed" : u"done");
        std::vector<std::u16string> warnings = warnings_;
        warnings.insert(warnings.end(), journal_.warnings.begin(), journal_.warnings.end());
        if (!log_.Problem().empty()) warnings.push_back(log_.Problem());
        ReportRunEvent(seams_.events, line_, verdict.exitCode, verdict.message, log_.WrittenPath(), warnings);
        return verdict.exitCode;
    }

private:
    const CommandLine& line_;
    const platform::Seams& seams_;
    Console& console_;
    MachineFolders folders_;
    RunLog log_;
    ConsoleJournal journal_;
    platform::LockAttempt singleRun_;
    std::vector<std::u16string> warnings_;  // besides the journal's
};

// What to install, from the command, with what the run warns about first:
// machines are imaged before the printer is cabled, so a port that is not
// there yet is worth a warning, not a refusal.
setup::UnattendedInstallRequest InstallRequestOf(const Command& command, const platform::Seams& seams,
                                                 setup::Journal& journal) {
    setup::UnattendedInstallRequest request;
    request.usb = *command.port == u"USB";
    request.portName = PortNameOf(*command.port);
    request.portSettings = command.settings ? *command.settings : setup::DefaultPortSettings();
    request.packageDirectory = platform::DirectoryOf(
        seams.files.FullPath(command.package ? *command.package : seams.machine.ProgramDirectory()) + u"\\");
    request.rememberChoice = command.remember;
    request.portArgument = *command.port;
    if (!request.usb) {
        const platform::NameList present = setup::ListPresentComPorts(seams.machine);
        if (!present.listed)
            journal.Step(u"warning: the serial ports of this machine cannot be read (" + present.reason + u")");
        else if (const std::u16string absent = setup::AbsentPortWarning(*command.port, present.names); !absent.empty())
            journal.Step(u"warning: " + absent);
    }
    return request;
}

// The driver package the printer setup tool gets: where it is, when no one
// but the trusted accounts can change it; else a copy in the machine folder,
// so that no one can swap its files before the print system loads them. A
// package with a link or a file of several names anywhere is refused.
std::optional<setup::Verdict> UseTrustedPackage(setup::UnattendedInstallRequest& request, const MachineFolders& folders,
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
}  // namespace

void ReportRunEvent(platform::EventLog& events, const CommandLine& line, int exitCode, std::u16string_view reason,
                    std::u16string_view logPath, const std::vector<std::u16string>& warnings) {
    setup::RunRecord record;
    switch (line.parsed.verb.value_or(Action::Help)) {
    case Action::Install: record.command = setup::RunCommand::Install; break;
    case Action::Remove: record.command = setup::RunCommand::Remove; break;
    case Action::SetDefault: record.command = setup::RunCommand::SetDefault; break;
    default: return;  // status, help and version leave none
    }
    record.commandLine = ShownCommandLine(line);
    record.exitCode = exitCode;
    record.reason = reason;
    record.warnings = warnings;
    record.logPath = logPath;
    setup::ReportRun(events, record);
}

std::u16string ArrangeRetryAtNextSignIn(platform::Machine& machine, platform::AnsiRegistry& registry) {
    const std::u16string command = u"\"" + machine.ProgramDirectory() + u"\\PortSetupCli.exe\" set-default --quiet";
    const long status = modRegedit::RegSetString(registry, platform::kHkeyCurrentUser, std::u16string(kRetryKey),
                                                 std::u16string(kRetryValue), command);
    if (status != platform::kErrorSuccess)
        return u"one more try at the next sign-in could not be arranged (HKCU\\" + std::u16string(kRetryKey) +
               u", status " + setup::Number(static_cast<std::uint64_t>(status)) + u").";
    return u"one more try is arranged for the next sign-in of " + machine.RunningAccountName() + u" (HKCU\\" +
           std::u16string(kRetryKey) + u"\\" + std::u16string(kRetryValue) + u").";
}

int RunCli(const CommandLine& line, const platform::Seams& seams, Console& console) {
    if (!line.parsed.command) return RefuseBadUsage(line, seams, console);
    const Command& command = *line.parsed.command;
    switch (command.action) {
    case Action::Help: console.Out(UsageText()); return setup::kExitDone;
    case Action::Version: console.Out(u"PortSetupCli " + std::u16string(PORTSETUP_VERSION_TEXT)); return setup::kExitDone;
    default: break;
    }
    // Refused at once where it would do the job half right.
    if (const auto wrong = setup::WrongWindowsFor(seams.machine.ProgramProcessor(), seams.machine.NativeProcessor(),
                                                  u"PortSetupCli.exe")) {
        console.Err(u"PortSetupCli: " + *wrong);
        console.Out(u"failed");
        ReportRunEvent(seams.events, line, setup::kExitWrongProcessor, *wrong);
        return setup::kExitWrongProcessor;
    }
    switch (command.action) {
    case Action::Status: return Status(command, seams, console);
    case Action::SetDefault: return SetDefault(line, seams, console);
    case Action::Doctor: return Doctor(command, seams, console);
    case Action::TestPrint: return TestPrint(command, seams, console);
    default: break;
    }

    // Rights first, before anything is written or started.
    if (!seams.machine.IsAdministrator()) {
        static constexpr std::u16string_view kNeedsRights =
            u"install and remove need administrator rights: run PortSetupCli elevated, or as SYSTEM.";
        console.Err(u"PortSetupCli: " + std::u16string(kNeedsRights));
        console.Out(u"failed");
        ReportRunEvent(seams.events, line, setup::kExitNotAdministrator, kNeedsRights);
        return setup::kExitNotAdministrator;
    }
    // The program itself: what SYSTEM runs at every install, repair,
    // uninstall and sign-in must be out of every other account's reach.
    const PackageExamination program =
        ExaminePackage(seams.files, seams.machine.ProgramDirectory(), seams.machine.RunningUserSid());
    if (program.verdict != PackageExamination::Verdict::Trusted) {
        const std::u16string why =
            u"PortSetupCli.exe runs elevated from a folder others can change (" + program.why +
            u"); nothing was changed. Fix: install it with the MSI (into Program Files), or copy it to a folder only "
            u"administrators can change and run it from there.";
        console.Err(u"PortSetupCli: " + why);
        console.Out(u"failed");
        ReportRunEvent(seams.events, line, setup::kExitProgramFolderUnsafe, why);
        return setup::kExitProgramFolderUnsafe;
    }
    MachineRun run(line, seams, console);
    if (run.AnotherRun())
        return run.Finish({setup::kExitAlreadyRunning, u"another PortSetupCli run is in progress on this machine; "
                                                       u"try again when it has ended."});
    const setup::Services services = run.Start();
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultCommandTimeoutMilliseconds;
    if (command.action == Action::Remove) return run.Finish(setup::RemoveUnattended(timeout, services));
    Command install = command;
    std::vector<std::u16string> warnings;
    const std::u16string misfit = SettleStoredChoice(install, warnings);
    for (const auto& warning : warnings) run.Journal().Step(u"warning: " + warning);
    if (!misfit.empty()) return run.Finish({setup::kExitUsage, misfit});
    setup::UnattendedInstallRequest request = InstallRequestOf(install, seams, run.Journal());
    request.timeoutMilliseconds = timeout;
    if (const auto refused = UseTrustedPackage(request, run.Folders(), seams, run.Journal())) return run.Finish(*refused);
    // Before any change: what would make the printer setup tool fail, or
    // hang on a question nobody sees, is refused with its own exit code.
    setup::PreCheckRequest checks{request.packageDirectory, request.usb ? u"" : std::u16string(*install.port), true};
    checks.othersCouldChange = request.packageCopied;
    const auto findings = setup::CheckBeforeInstall(checks, seams);
    for (const auto& finding : findings) {
        if (finding.result == setup::Finding::Result::Passed) run.Journal().Step(u"checked: " + finding.detail);
        if (finding.result == setup::Finding::Result::Warning)
            run.Journal().Step(u"warning: " + finding.detail + (finding.fix.empty() ? u"" : u"; " + finding.fix));
    }
    if (const setup::Finding* refused = setup::FirstRefusal(findings)) {
        // A copy that is not installed does not stay.
        if (request.packageCopied) RemovePackageCopy(*run.Folders().rootFolder);
        return run.Finish({refused->exitCode, refused->detail + u"; nothing was changed. Fix: " + refused->fix});
    }
    return run.Finish(setup::InstallUnattended(request, services));
}

}  // namespace cli
