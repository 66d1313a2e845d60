// An elevated install or remove: its machine folders, its log and the
// single-run lock, its steps on the console and in the log, and its end
// (the verdict, everywhere it is looked for).
#pragma once

#include "cli/Arguments.h"
#include "cli/Console.h"
#include "cli/FileSafety.h"
#include "cli/RunLog.h"
#include "platform/Seams.h"
#include "setup/Services.h"

#include <string>
#include <vector>

namespace cli {

// Each step goes to stdout as it happens, and to the log; the warnings, and
// what was removed, are kept for the run's event as well.
class ConsoleJournal : public setup::Journal {
public:
    ConsoleJournal(Console& console, RunLog& log) : console_(console), log_(log) {}
    void Step(std::u16string_view line) override;

    std::vector<std::u16string> warnings;
    std::vector<std::u16string> removed;  // the "removed: " lines, for the run's event

private:
    Console& console_;
    RunLog& log_;
};

class MachineRun {
public:
    MachineRun(const CommandLine& line, const platform::Seams& seams, Console& console);

    // Whether another run holds the single-run lock.
    bool AnotherRun() const { return singleRun_.outcome == platform::LockAttempt::Outcome::HeldElsewhere; }
    const MachineFolders& Folders() const { return folders_; }
    setup::Journal& Journal() { return journal_; }
    // The run's services, once it is the only run.
    setup::Services Start(const setup::Product& product);
    // Ends the run with `verdict`: stderr, the log, stdout's last line, the event.
    int Finish(const setup::Verdict& verdict);

private:
    void TakeSingleRunLock();

    const CommandLine& line_;
    const platform::Seams& seams_;
    Console& console_;
    MachineFolders folders_;
    RunLog log_;
    ConsoleJournal journal_;
    platform::LockAttempt singleRun_;
    std::vector<std::u16string> warnings_;  // besides the journal's
};

// The complaint of a log: on stderr, with the program's name.
RunLog::Complaint ComplainTo(Console& console);

}  // namespace cli
