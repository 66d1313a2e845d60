#include "cli/RunLog.h"

#include "setup/Text.h"

namespace cli {

namespace {

constexpr std::u16string_view kLockName = kLogLockName;

std::u16string Within(std::u16string_view folder, std::u16string_view name) {
    return std::u16string(folder).append(u"\\").append(name);
}

}  // namespace

RunLog::RunLog(platform::System& machine, platform::Files& files, Complaint complain)
    : machine_(machine), files_(files), complain_(std::move(complain)) {}

void RunLog::AddMachineLog(std::shared_ptr<platform::HeldFolder> logs, std::shared_ptr<platform::HeldFolder> lockFolder) {
    Target target;
    target.path = Within(logs->Path(), kMachineLogName);
    target.name = kMachineLogName;
    target.folder = std::move(logs);
    targets_.push_back(std::move(target));
    lockFolder_ = std::move(lockFolder);
}

void RunLog::AddGivenLog(std::u16string path) {
    Target target;
    target.name = path.substr(path.rfind(u'\\') + 1);
    target.path = std::move(path);
    target.given = true;
    targets_.push_back(std::move(target));
}

void RunLog::MachineLogNotWritten(std::u16string_view reason) { Complain(u"", reason); }

void RunLog::Write(std::u16string_view event) {
    const std::string line = setup::Utf8(machine_.LocalTimestamp() + u" " + LogLineText(event)) + "\r\n";
    // Until the run holds the lock, each line takes it for itself.
    platform::LockAttempt lineLock;
    if (lockFolder_ && !lock_.lock)
        lineLock = TakeCheckedLock(*lockFolder_, kLockName, lockWait_, machine_.RunningUserSid());
    for (Target& target : targets_) WriteTo(target, line);
}

void RunLog::WriteTo(Target& target, const std::string& line) {
    if (target.broken) return;
    std::u16string reason;
    if (!target.file) {
        target.file = Open(target, reason);
        if (!target.file) return Broken(target, reason);
        target.size = target.file->Size();
        // A line cut off by a killed run is ended first.
        target.endsWithLineBreak = target.size == 0 || target.file->EndsWithLineBreak();
    }
    if (target.size + line.size() >= kLogLimitBytes) RollOver(target);
    if (!target.file) return;
    const std::string bytes = target.endsWithLineBreak ? line : "\r\n" + line;
    if (!target.file->Append(bytes, reason)) return Broken(target, reason);
    target.size += bytes.size();
    target.endsWithLineBreak = true;
    target.written = true;
}

std::u16string RunLog::WrittenPath() const {
    std::u16string paths;
    for (const Target& target : targets_)
        if (target.written) paths += (paths.empty() ? u"" : u"; ") + target.path;
    return paths;
}

void RunLog::HoldLock() {
    if (lockFolder_ && !lock_.lock)
        lock_ = TakeCheckedLock(*lockFolder_, kLockName, kLogLockWaitMilliseconds, machine_.RunningUserSid());
}

void RunLog::RollOver(Target& target) {
    // Neither the log nor what its older copy replaces may be a link.
    const std::u16string older = OlderLogName(target.name);
    std::u16string why;
    if (const auto unsafe = setup::WhyFileUnsafe(target.file->Facts())) {
        why = target.path + u" is not renamed: " + *unsafe;
    } else if (std::u16string missing; const auto olderEntry = platform::FindEntry(*target.folder, older, missing)) {
        if (olderEntry->redirected || olderEntry->directory)
            why = Within(target.folder->Path(), older) + u" is not replaced: it is a link or a folder";
        else if (const auto unsafe = setup::WhyFileUnsafe(target.folder->EntryFacts(*olderEntry)))
            why = Within(target.folder->Path(), older) + u" is not replaced: " + *unsafe;
    }
    if (why.empty() && target.file->RenameReplacing(older, why)) {
        std::u16string reason;
        target.file = Open(target, reason);
        if (!target.file) return Broken(target, reason);
        target.size = target.file->Size();
        target.endsWithLineBreak = target.size == 0 || target.file->EndsWithLineBreak();
    } else if (!target.rollOverFailed) {
        // Appending on beats going silent.
        target.rollOverFailed = true;
        complain_(u"the log " + target.path + u" could not be rolled over (" + why + u"); it grows on.");
    }
}

// The log is checked on its handle when it is opened: a plain file of one
// name that only trusted accounts own and change. A given log's folders are
// made and checked first, as the machine log's are.
std::unique_ptr<platform::AppendFile> RunLog::Open(Target& target, std::u16string& reason) {
    const std::u16string self = machine_.RunningUserSid();
    if (!target.folder) {
        target.folder = PrepareGivenLogFolder(files_, target.path, self, reason);
        if (!target.folder) return nullptr;
    }
    auto file = target.folder->OpenForAppend(target.name, reason);
    if (!file) return nullptr;
    if (const auto unsafe = setup::WhyOwnFileUnsafe(file->Facts(), self)) {
        reason = *unsafe;
        return nullptr;
    }
    return file;
}

void RunLog::Broken(Target& target, std::u16string_view reason) {
    target.broken = true;
    target.file.reset();
    Complain(target.path, reason);
}

void RunLog::Complain(std::u16string_view path, std::u16string_view reason) {
    problem_ = u"the log " + (path.empty() ? u"" : std::u16string(path) + u" ") + u"is not written (" +
               std::u16string(reason) + u"); going on without it.";
    complain_(problem_);
}

std::u16string OlderLogName(std::u16string_view name) {
    const std::u16string p(name);
    if (p.size() >= 4 && p.compare(p.size() - 4, 4, u".log") == 0) return p.substr(0, p.size() - 4) + u".old.log";
    return p + u".old";
}

std::u16string LogLineText(std::u16string_view text) {
    std::u16string line;
    line.reserve(text.size());
    for (char16_t c : text) {
        if (c == u'\r') line += u"\\r";
        else if (c == u'\n') line += u"\\n";
        else if (setup::ShownEscaped(c)) {
            static constexpr char16_t kHex[] = u"0123456789abcdef";
            line += c < 0x100 ? u"\\x" : u"\\u";
            if (c >= 0x100) {
                line += kHex[(c >> 12) & 0xF];
                line += kHex[(c >> 8) & 0xF];
            }
            line += kHex[(c >> 4) & 0xF];
            line += kHex[c & 0xF];
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace cli
