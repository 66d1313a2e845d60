#include "cli/MachineRun.h"

#include "cli/RunEvent.h"
#include "setup/Text.h"

namespace cli {

namespace {

// The log of an elevated run: the machine log in its checked folder, where
// the help desk always finds it, and --log's file as a copy; the writers'
// lock lives in the machine folder.
RunLog OpenLog(const std::optional<std::u16string>& given, std::optional<LogFormat> format, const MachineFolders& folders,
               const platform::Seams& seams, Console& console) {
    RunLog log(seams.machine, seams.files, ComplainTo(console));
    if (folders.logsFolder) log.AddMachineLog(folders.logsFolder, folders.rootFolder);
    else log.MachineLogNotWritten(folders.reason);
    if (given) log.AddGivenLog(seams.files.FullPath(*given), format.value_or(LogFormat::Text));
    return log;
}

}  // namespace

RunLog::Complaint ComplainTo(Console& console) {
    return [&console](std::u16string_view text) { console.Err(u"PortSetupCli: " + std::u16string(text)); };
}

void ConsoleJournal::Step(std::u16string_view line) {
    console_.Out(line);
    log_.Write(line);
    static constexpr std::u16string_view kWarning = u"warning: ";
    static constexpr std::u16string_view kRemoved = u"removed: ";
    if (line.substr(0, kWarning.size()) == kWarning) warnings.emplace_back(line.substr(kWarning.size()));
    if (line.substr(0, kRemoved.size()) == kRemoved) removed.emplace_back(line.substr(kRemoved.size()));
}

MachineRun::MachineRun(const CommandLine& line, const platform::Seams& seams, Console& console)
    : line_(line), seams_(seams), console_(console), folders_(PrepareMachineFolders(seams.machine, seams.files)),
      log_(OpenLog(line.parsed.command->log, line.parsed.command->logFormat, folders_, seams, console)),
      journal_(console, log_) {
    TakeSingleRunLock();
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

// One run at a time, through a lock that only administrators can create or
// hold, and that the system lets go when a run ends or is killed: a mutex in
// the administrators' private namespace, or where the system has none
// (Wine), a lock file in the machine folder. Taken before the first log
// line: the run in progress holds the log's lock for its whole run.
void MachineRun::TakeSingleRunLock() {
    singleRun_ = seams_.files.TakeAdministratorsLock(u"SingleRun");
    if (singleRun_.outcome == platform::LockAttempt::Outcome::Failed && folders_.rootFolder)
        singleRun_ = TakeCheckedLock(*folders_.rootFolder, kSingleRunLockName, 0, seams_.machine.RunningUserSid());
}

setup::Services MachineRun::Start(const setup::Product& product) {
    log_.HoldLock();
    return {seams_, journal_, product};
}

int MachineRun::Finish(const setup::Verdict& verdict) {
    if (verdict.failed()) console_.Err(u"PortSetupCli: " + verdict.message);
    log_.Write(u"verdict: " + std::u16string(verdict.failed() ? u"failed" : u"done") + u", exit code " +
               setup::Number(static_cast<std::uint64_t>(verdict.exitCode)) +
               (verdict.message.empty() ? u"" : u": " + verdict.message));
    // Done with a restart to follow: said before the verdict's word.
    if (!verdict.failed() && !verdict.message.empty()) console_.Out(u"restart needed: " + verdict.message);
    console_.Out(verdict.failed() ? u"failed" : u"done");
    std::vector<std::u16string> warnings = warnings_;
    warnings.insert(warnings.end(), journal_.warnings.begin(), journal_.warnings.end());
    if (!log_.Problem().empty()) warnings.push_back(log_.Problem());
    ReportRunEvent(seams_, line_, verdict.exitCode, verdict.message, log_.WrittenPath(), warnings, journal_.removed);
    return verdict.exitCode;
}

}  // namespace cli
