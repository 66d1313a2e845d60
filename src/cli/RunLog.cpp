#include "cli/RunLog.h"

#include "setup/Text.h"

namespace cli {

RunLog::RunLog(platform::Machine& machine, platform::Files& files, Complaint complain, std::u16string_view reason)
    : machine_(machine), files_(files), complain_(std::move(complain)) {
    Broken(reason);
}

RunLog::RunLog(platform::Machine& machine, platform::Files& files, Complaint complain, std::u16string path,
               std::u16string lockPath, bool given)
    : machine_(machine), files_(files), complain_(std::move(complain)), path_(std::move(path)),
      lockPath_(std::move(lockPath)), given_(given) {}

void RunLog::Write(std::u16string_view event) {
    if (broken_) return;
    const std::string line = setup::Utf8(machine_.LocalTimestamp() + u" " + std::u16string(event)) + "\r\n";
    std::u16string reason;
    // Until the run holds the lock, each line takes it for itself.
    platform::LockAttempt lineLock;
    if (!lockPath_.empty() && !lock_.lock)
        lineLock = TakeCheckedLock(files_, lockPath_, lockWait_, machine_.RunningUserSid());
    if (!file_) {
        file_ = Open(given_, reason);
        if (!file_) return Broken(reason);
        size_ = file_->Size();
        // A line cut off by a killed run is ended first.
        endsWithLineBreak_ = size_ == 0 || file_->EndsWithLineBreak();
    }
    if (size_ + line.size() >= kLogLimitBytes) RollOver();
    if (!file_) return;
    const std::string bytes = endsWithLineBreak_ ? line : "\r\n" + line;
    if (!file_->Append(bytes, reason)) return Broken(reason);
    size_ += bytes.size();
    endsWithLineBreak_ = true;
    written_ = true;
}

void RunLog::HoldLock() {
    if (!lockPath_.empty() && !lock_.lock)
        lock_ = TakeCheckedLock(files_, lockPath_, kLogLockWaitMilliseconds, machine_.RunningUserSid());
}

void RunLog::RollOver() {
    // Neither the log nor what its older copy replaces may be a link.
    const std::u16string older = OlderLogPath(path_);
    std::u16string why;
    if (const auto unsafe = WhyFileUnsafe(file_->Facts())) why = path_ + u" is not renamed: " + *unsafe;
    else if (const auto olderFacts = files_.Examine(older); olderFacts.exists || olderFacts.redirected)
        if (const auto unsafe = WhyFileUnsafe(olderFacts)) why = older + u" is not replaced: " + *unsafe;
    if (why.empty() && file_->RenameReplacing(older, why)) {
        std::u16string reason;
        file_ = Open(false, reason);
        if (!file_) return Broken(reason);
        size_ = file_->Size();
        endsWithLineBreak_ = size_ == 0 || file_->EndsWithLineBreak();
    } else if (!rollOverFailed_) {
        // Appending on beats going silent.
        rollOverFailed_ = true;
        complain_(u"the log " + path_ + u" could not be rolled over (" + why + u"); it grows on.");
    }
}

// The log is checked on its handle when it is opened: a plain file of one
// name that only trusted accounts own and change. A given log's folders are
// made and checked first, as the machine log's are.
std::unique_ptr<platform::AppendFile> RunLog::Open(bool given, std::u16string& reason) {
    const std::u16string self = machine_.RunningUserSid();
    if (given) {
        if (auto refused = PrepareGivenLogFolders(files_, path_, self)) {
            reason = *refused;
            return nullptr;
        }
    }
    auto file = files_.OpenForAppend(path_, reason);
    if (!file) return nullptr;
    if (const auto unsafe = WhyOwnFileUnsafe(file->Facts(), self)) {
        reason = *unsafe;
        return nullptr;
    }
    return file;
}

void RunLog::Broken(std::u16string_view reason) {
    broken_ = true;
    file_.reset();
    problem_ = u"the log " + (path_.empty() ? u"" : path_ + u" ") + u"is not written (" + std::u16string(reason) +
               u"); going on without it.";
    complain_(problem_);
}

std::u16string OlderLogPath(std::u16string_view path) {
    const std::u16string p(path);
    if (p.size() >= 4 && p.compare(p.size() - 4, 4, u".log") == 0) return p.substr(0, p.size() - 4) + u".old.log";
    return p + u".old";
}

}  // namespace cli
