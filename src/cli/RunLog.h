// The log of an elevated install or remove run: one line per event, with the
// local time, appended to a file that rolls over to one older copy before it
// would reach 1 MiB.
#pragma once

#include "cli/Arguments.h"
#include "cli/FileSafety.h"
#include "platform/Seams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline constexpr std::uint64_t kLogLimitBytes = std::uint64_t{1024} * 1024;
// How long a log line waits for another run's writer to finish its line.
inline constexpr std::uint32_t kLogLockWaitMilliseconds = 5000;

// The run takes the writers' lock file (only administrators can take it)
// for each line until it is the only run, then holds it; each file, opened
// relative to its checked folder and checked on its handle, stays open
// until the run ends; each line goes to disk as it is written. The
// roll-over is a rename of that opened file within its folder, under the
// same lock. A log that cannot be written is reported once (through
// `complain`) and the job goes on.
class RunLog {
public:
    using Complaint = std::function<void(std::u16string_view)>;

    RunLog(platform::System& machine, platform::Files& files, Complaint complain);

    // The machine log in `logs`, with the writers' lock in `lockFolder` (none:
    // lines are appended without it).
    void AddMachineLog(std::shared_ptr<platform::HeldFolder> logs, std::shared_ptr<platform::HeldFolder> lockFolder);
    // A file named on the command line (a full path): its missing folders
    // made protected, every folder on its way checked, at the first line.
    void AddGivenLog(std::u16string path, LogFormat format = LogFormat::Text);
    // The machine log cannot be had, for `reason`.
    void MachineLogNotWritten(std::u16string_view reason);

    void Write(std::u16string_view event);

    // The files the run's lines went to ("a; b"); empty when none went anywhere.
    std::u16string WrittenPath() const;
    // Why a log is not written, when one is not.
    std::u16string Problem() const { return problem_; }

    // A run that only says it cannot run does not wait for the run in
    // progress, which holds the writers' lock: its lines go in as they are.
    void DoNotWait() { lockWait_ = 0; }
    // Holds the writers' lock for the rest of the run: called once the run
    // is the only one, so that no other writer waits on it for long.
    void HoldLock();

private:
    struct Target {
        std::u16string path;  // for messages, and the run's event
        std::u16string name;
        std::shared_ptr<platform::HeldFolder> folder;  // prepared at the first line for a given log
        bool given = false;
        LogFormat format = LogFormat::Text;
        bool broken = false;
        bool written = false;
        bool rollOverFailed = false;
        std::unique_ptr<platform::AppendFile> file;
        std::uint64_t size = 0;
        bool endsWithLineBreak = true;
    };
    void WriteTo(Target& target, const std::string& line);
    void RollOver(Target& target);
    std::unique_ptr<platform::AppendFile> Open(Target& target, std::u16string& reason);
    void Broken(Target& target, std::u16string_view reason);
    void Complain(std::u16string_view path, std::u16string_view reason);

    platform::System& machine_;
    platform::Files& files_;
    Complaint complain_;
    std::vector<Target> targets_;
    std::shared_ptr<platform::HeldFolder> lockFolder_;
    std::u16string problem_;
    platform::LockAttempt lock_;  // held for the run once taken
    std::uint32_t lockWait_ = kLogLockWaitMilliseconds;
};

// A line in CMTrace's format (Configuration Manager's log viewer, which
// Intune's logs are read with too): the text (as LogLineText gives it, and
// with nothing in it that could end the entry), the local time with its
// bias in minutes, the date, the component PortSetupCli, the type (1 for
// information, 2 for a warning, 3 for an error: a failed verdict) and the
// thread. `isoTime` is LocalTimestamp's, "2026-12-08T10:00:00+01:00".
std::u16string CmTraceLine(std::u16string_view text, std::u16string_view isoTime, std::uint32_t thread);

// The log file's older copy: "X.log" becomes "X.old.log".
std::u16string OlderLogName(std::u16string_view name);

// A line as the log holds it: control characters (a CR or LF from a file
// someone else wrote) written as \r, \n or \xNN, so that no text can add or
// forge a line.
std::u16string LogLineText(std::u16string_view text);

}  // namespace cli
