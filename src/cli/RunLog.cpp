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

void RunLog::AddGivenLog(std::u16string path, LogFormat format) {
    Target target;
    target.format = format;
    target.name = path.substr(path.rfind(u'\\') + 1);
    target.path = std::move(path);
    target.given = true;
    targets_.push_back(std::move(target));
}

void RunLog::MachineLogNotWritten(std::u16string_view reason) { Complain(u"", reason); }

void RunLog::Write(std::u16string_view event) {
    const std::u16string time = machine_.LocalTimestamp();
    const std::string line = setup::Utf8(time + u" " + LogLineText(event)) + "\r\n";
    std::string cmTrace;
    for (const Target& target : targets_)
        if (target.format == LogFormat::CmTrace && cmTrace.empty())
            cmTrace = setup::Utf8(CmTraceLine(event, time, machine_.ThreadId())) + "\r\n";
    // Until the run holds the lock, each line takes it for itself.
    platform::LockAttempt lineLock;
    if (lockFolder_ && !lock_.lock)
        lineLock = TakeCheckedLock(*lockFolder_, kLockName, lockWait_, machine_.RunningUserSid());
    for (Target& target : targets_) WriteTo(target, target.format == LogFormat::CmTrace ? cmTrace : line);
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

std::u16string CmTraceLine(std::u16string_view text, std::u16string_view isoTime, std::uint32_t thread) {
    std::u16string shown = LogLineText(text);
    // What would end the entry, or start one, is broken up.
    for (const std::u16string_view mark : {std::u16string_view(u"]LOG]!>"), std::u16string_view(u"<![LOG[")})
        for (std::size_t at; (at = shown.find(mark)) != std::u16string::npos;) shown.insert(at + 1, u" ");
    // "2026-12-08T10:00:00+01:00": the date, the time, and the offset east
    // of UTC, which CMTrace writes as its bias (minutes west).
    const auto part = [&](std::size_t at, std::size_t size) {
        return at + size <= isoTime.size() ? std::u16string(isoTime.substr(at, size)) : std::u16string(size, u'0');
    };
    int offset = 0;
    if (isoTime.size() >= 25) {
        const auto digits = [&](std::size_t at) { return (isoTime[at] - u'0') * 10 + (isoTime[at + 1] - u'0'); };
        offset = digits(20) * 60 + digits(23);
        if (isoTime[19] == u'-') offset = -offset;
    }
    const int bias = -offset;
    std::u16string biasText = setup::Number(static_cast<std::uint64_t>(bias < 0 ? -bias : bias));
    if (biasText.size() < 3) biasText.insert(0, 3 - biasText.size(), u'0');
    biasText.insert(0, 1, bias < 0 ? u'-' : u'+');
    const bool warning = text.substr(0, 9) == u"warning: ";
    const bool failed = text.substr(0, 15) == u"verdict: failed";
    return u"<![LOG[" + shown + u"]LOG]!><time=\"" + part(11, 8) + u".000" + biasText + u"\" date=\"" + part(5, 2) +
           u"-" + part(8, 2) + u"-" + part(0, 4) + u"\" component=\"PortSetupCli\" context=\"\" type=\"" +
           (failed ? u"3" : warning ? u"2" : u"1") + u"\" thread=\"" + setup::Number(thread) + u"\" file=\"\">";
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
