// The log of an elevated install or remove run: one line per event, with the
// local time, appended to a file that rolls over to one older copy before it
// would reach 1 MiB.
#pragma once

#include "cli/FileSafety.h"
#include "platform/Seams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace cli {

inline constexpr std::uint64_t kLogLimitBytes = std::uint64_t{1024} * 1024;
// How long a log line waits for another run's writer to finish its line.
inline constexpr std::uint32_t kLogLockWaitMilliseconds = 5000;

// The run takes the writers' lock file (only administrators can take it)
// for each line until it is the only run, then holds it; the file, opened
// without following a link and checked, stays open until the run ends; each
// line goes to disk as it is written. The roll-over is a rename of that
// opened file under the same lock. A log that cannot be written is reported
// once (through `complain`) and the job goes on.
class RunLog {
public:
    using Complaint = std::function<void(std::u16string_view)>;

    // A log that is not written at all, for `reason`.
    RunLog(platform::Machine& machine, platform::Files& files, Complaint complain, std::u16string_view reason);
    // `lockPath` empty: no writers' lock can be had; lines are appended
    // without it. `given`: a file named on the command line (a full path),
    // its missing folders made protected, every folder on its way checked.
    RunLog(platform::Machine& machine, platform::Files& files, Complaint complain, std::u16string path,
           std::u16string lockPath, bool given);

    void Write(std::u16string_view event);

    // The file the run's lines went to; empty when none went anywhere.
    std::u16string WrittenPath() const { return written_ ? path_ : u""; }
    // Why the log is not written, when it is not.
    std::u16string Problem() const { return problem_; }

    // A run that only says it cannot run does not wait for the run in
    // progress, which holds the writers' lock: its lines go in as they are.
    void DoNotWait() { lockWait_ = 0; }
    // Holds the writers' lock for the rest of the run: called once the run
    // is the only one, so that no other writer waits on it for long.
    void HoldLock();

private:
    void RollOver();
    std::unique_ptr<platform::AppendFile> Open(bool given, std::u16string& reason);
    void Broken(std::u16string_view reason);

    platform::Machine& machine_;
    platform::Files& files_;
    Complaint complain_;
    std::u16string path_;
    std::u16string lockPath_;
    bool given_ = false;
    bool broken_ = false;
    bool written_ = false;
    std::u16string problem_;
    bool rollOverFailed_ = false;
    platform::LockAttempt lock_;  // held for the run once taken
    std::unique_ptr<platform::AppendFile> file_;
    std::uint64_t size_ = 0;
    bool endsWithLineBreak_ = true;
    std::uint32_t lockWait_ = kLogLockWaitMilliseconds;
};

// The log file's older copy: "X.log" becomes "X.old.log".
std::u16string OlderLogPath(std::u16string_view path);

}  // namespace cli
