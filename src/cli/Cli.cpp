#include "cli/Cli.h"

#include "cli/Arguments.h"
#include "cli/FileSafety.h"
#include "platform/CommandLineText.h"
#include "setup/RunEvents.h"
#include "setup/SerialSettings.h"
#include "setup/Unattended.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace cli {

namespace {

using setup::Verdict;

std::u16string Number(std::uint64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// The log: one line per event, with the local time, appended to a file that
// rolls over to one older copy before it would reach 1 MiB. The run takes
// the writers' lock file (only administrators can take it) for each line
// until it is the only run, then holds it; the file, opened without
// following a link and checked, stays open until the run ends; each line
// goes to disk as it is written. The
// roll-over is a rename of that opened file under the same lock. A log that
// cannot be written is reported once and the job goes on.
class Log {
public:
    // A log that is not written at all, for `reason`.
    Log(platform::System& system, Console& console, std::u16string_view reason)
        : system_(system), console_(console) {
        Broken(reason);
    }
    // `lockPath` empty: no writers' lock can be had; lines are appended
    // without it. `given`: a file named on the command line, used as given
    // (its folders made as needed), but never renamed through a link.
    Log(platform::System& system, Console& console, std::u16string path, std::u16string lockPath, bool given)
        : system_(system), console_(console), path_(std::move(path)), lockPath_(std::move(lockPath)),
          given_(given) {}

    void Write(std::u16string_view event) {
        if (broken_) return;
        const std::string line = Utf8(system_.LocalTimestamp() + u" " + std::u16string(event)) + "\r\n";
        std::u16string reason;
        // Until the run holds the lock, each line takes it for itself.
        platform::LockAttempt lineLock;
        if (!lockPath_.empty() && !lock_.lock)
            lineLock = system_.TakeLock(lockPath_, kLockFileDescriptor, lockWait_);
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

    // The file the run's lines went to; empty when none went anywhere.
    std::u16string WrittenPath() const { return written_ ? path_ : u""; }
    // Why the log is not written, when it is not.
    std::u16string Problem() const { return problem_; }

    // A run that only says it cannot run does not wait for the run in
    // progress, which holds the writers' lock: its lines go in as they are.
    void DoNotWait() { lockWait_ = 0; }

    // Holds the writers' lock for the rest of the run: called once the run
    // is the only one, so that no other writer waits on it for long.
    void HoldLock() {
        if (!lockPath_.empty() && !lock_.lock)
            lock_ = system_.TakeLock(lockPath_, kLockFileDescriptor, kLogLockWaitMilliseconds);
    }

private:
    void RollOver() {
        // Neither the log nor what its older copy replaces may be a link.
        const std::u16string older = OlderLogPath(path_);
        std::u16string why;
        if (const auto unsafe = WhyFileUnsafe(file_->Facts())) why = path_ + u" is not renamed: " + *unsafe;
        else if (const auto olderFacts = system_.Examine(older); olderFacts.exists || olderFacts.redirected)
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
            console_.Err(u"PortSetupCli: the log " + path_ + u" could not be rolled over (" + why + u"); it grows on.");
        }
    }

    // The machine log is checked when it is opened: a plain file of one name.
    std::unique_ptr<platform::AppendFile> Open(bool given, std::u16string& reason) {
        auto file = system_.OpenForAppend(path_, given, reason);
        if (!file || given) return file;
        if (const auto unsafe = WhyFileUnsafe(file->Facts())) {
            reason = *unsafe;
            return nullptr;
        }
        return file;
    }

    void Broken(std::u16string_view reason) {
        broken_ = true;
        file_.reset();
        problem_ = u"the log " + (path_.empty() ? u"" : path_ + u" ") + u"is not written (" + std::u16string(reason) +
                   u"); going on without it.";
        console_.Err(u"PortSetupCli: " + problem_);
    }

    platform::System& system_;
    Console& console_;
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

// Each step goes to stdout as it happens, and to the log; the warnings are
// kept for the run's event as well.
class ConsoleJournal : public setup::Journal {
public:
    ConsoleJournal(Console& console, Log& log) : console_(console), log_(log) {}
    void Step(std::u16string_view line) override {
        console_.Out(line);
        log_.Write(line);
        static constexpr std::u16string_view kWarning = u"warning: ";
        if (line.substr(0, kWarning.size()) == kWarning) warnings.emplace_back(line.substr(kWarning.size()));
    }

    std::vector<std::u16string> warnings;

private:
    Console& console_;
    Log& log_;
};

std::u16string JoinArguments(const std::vector<std::u16string>& arguments) {
    std::u16string line = u"PortSetupCli";
    for (const auto& argument : arguments)
        line += u" " + (argument.find_first_of(u" \t\"") == std::u16string::npos || argument.empty()
                            ? argument
                            : u"\"" + argument + u"\"");
    return line;
}

// A JSON string, in UTF-16; the caller writes it out as UTF-8.
std::u16string JsonString(std::u16string_view text) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c < 0x20) {
            out += u"\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out + u"\"";
}

// A JSON array of strings.
std::u16string JsonArray(const std::vector<std::u16string>& items) {
    std::u16string json = u"[";
    for (std::size_t i = 0; i < items.size(); ++i) json += (i ? u"," : u"") + JsonString(items[i]);
    return json + u"]";
}

int Status(const Command& command, setup::Services services, Console& console) {
    const setup::InstallationStatus status = setup::QueryStatus(services);
    const std::u16string portName = command.port ? PortNameOf(*command.port) : u"";
    const std::vector<std::u16string> missing = setup::NotAsAsked(status, portName, command.settings);
    const bool asAsked = missing.empty();
    if (!status.listed) {
        console.Err(u"PortSetupCli: the print system could not be asked: " + status.reason);
        return setup::kExitFailed;
    }
    if (command.json) {
        std::u16string json = u"{\"driver\":" + JsonString(u"KALDO QTX_VELTRO") +
                              u",\"driverInstalled\":" + (status.driverInstalled ? u"true" : u"false") +
                              u",\"printers\":[";
        for (std::size_t i = 0; i < status.printers.size(); ++i) {
            const auto& p = status.printers[i];
            json += (i ? u"," : u"") + std::u16string(u"{\"name\":") + JsonString(p.name) + u",\"port\":" +
                    JsonString(p.port) + u",\"default\":" + (p.isDefault ? u"true" : u"false") + u"}";
        }
        json += u"],\"defaultPrinter\":" + JsonString(status.defaultPrinter) + u",\"account\":" +
                JsonString(status.account) + u",\"windowsManagesDefault\":" +
                (status.windowsManagesDefault ? u"true" : u"false") + u",\"ports\":{";
        for (std::size_t i = 0; i < status.ports.size(); ++i) {
            json += (i ? u"," : u"") + JsonString(u"COM" + Number(i + 1) + u":") + u":" +
                    (status.ports[i] ? JsonString(*status.ports[i]) : u"null");
        }
        json += u"},\"presentComPorts\":" +
                (status.presentComPorts.listed ? JsonArray(status.presentComPorts.names) : u"null") +
                u",\"askedPort\":" + (command.port ? JsonString(*command.port) : u"null") +
                u",\"installedAsAsked\":" + (asAsked ? u"true" : u"false") + u",\"notAsAsked\":" +
                JsonArray(missing) + u"}";
        console.Out(json);
    } else {
        console.Out(u"Printer driver \"KALDO QTX_VELTRO\": " +
                    std::u16string(status.driverInstalled ? u"installed" : u"not installed"));
        console.Out(status.printers.empty() ? u"Printers that use it: none" : u"Printers that use it:");
        for (const auto& p : status.printers)
            console.Out(u"  " + p.name + u" on " + p.port + (p.isDefault ? u" (the default printer)" : u""));
        console.Out(u"Runs as: " + status.account);
        console.Out(u"Default printer of " + status.account + u": " +
                    (status.defaultPrinter.empty() ? u"none" : status.defaultPrinter) +
                    (status.windowsManagesDefault
                         ? u" (Windows manages this account's default printer: it may replace it with the last "
                           u"printer used)"
                         : u" (Windows does not manage this account's default printer)"));
        const auto& present = status.presentComPorts;
        console.Out(u"COM ports on this machine: " +
                    (!present.listed        ? u"unknown (" + present.reason + u")"
                     : present.names.empty() ? std::u16string(u"none")
                                             : setup::CommaList(present.names)));
        console.Out(u"Ports values:");
        for (std::size_t i = 0; i < status.ports.size(); ++i) {
            const std::u16string port = u"COM" + Number(i + 1);
            const bool exists = std::find(present.names.begin(), present.names.end(), port) != present.names.end();
            console.Out(u"  " + port + u": " + (status.ports[i] ? *status.ports[i] : u"(none)") +
                        (!present.listed ? u""
                         : exists        ? u" (the port is present)"
                                         : u" (the port is not present on this machine)"));
        }
        std::u16string why;
        for (const auto& m : missing) why += (why.empty() ? u" (" : u"; ") + m;
        console.Out(u"Installed as asked" + (command.port ? u" (" + *command.port + u")" : u"") + u": " +
                    (asAsked ? u"yes" : u"no" + why + u")"));
    }
    return asAsked ? setup::kExitDone : setup::kExitFailed;
}

// set-default: the running user's own default printer, with no rights, lock
// or log of the machine's; its output and its event are its record.
int SetDefault(const Command& command, const std::vector<std::u16string>& arguments, platform::Platform& platform,
               platform::System& system, platform::AnsiRegistry& registry, Console& console) {
    class Steps : public setup::Journal {
    public:
        Steps(Console& console, bool quiet) : console_(console), quiet_(quiet) {}
        void Step(std::u16string_view line) override {
            if (!quiet_) console_.Out(line);
        }

    private:
        Console& console_;
        bool quiet_;
    } steps(console, command.quiet);
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultSetTimeoutMilliseconds;
    const Verdict verdict = setup::SetDefaultForUser(timeout, {platform, system, registry, steps});
    ReportRunEvent(platform, arguments, verdict.exitCode == setup::kExitDone ? setup::kExitDone : setup::kExitFailed,
                   verdict.message);
    if (verdict.exitCode != setup::kExitDone) {
        console.Err(u"PortSetupCli: " + verdict.message);
        if (!command.quiet) console.Out(u"failed");
        return setup::kExitFailed;
    }
    if (!command.quiet) console.Out(u"done");
    return setup::kExitDone;
}

// The command whose runs leave an event, from the first argument; nothing
// for the others (status, help, version).
std::optional<setup::RunCommand> EventCommandOf(const std::vector<std::u16string>& arguments) {
    if (arguments.empty()) return std::nullopt;
    if (arguments[0] == u"install") return setup::RunCommand::Install;
    if (arguments[0] == u"remove") return setup::RunCommand::Remove;
    if (arguments[0] == u"set-default") return setup::RunCommand::SetDefault;
    return std::nullopt;
}

// --log's value, read from the raw arguments, so that a refused command line
// is logged where it asked; empty when not given.
std::u16string GivenLogPath(const std::vector<std::u16string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i].rfind(u"--log=", 0) == 0 && arguments[i].size() > 6) return arguments[i].substr(6);
        if (arguments[i] == u"--log" && i + 1 < arguments.size() && !arguments[i + 1].empty()) return arguments[i + 1];
    }
    return {};
}

// The log of an elevated run: --log's file, or the machine log in its
// checked folder; the writers' lock lives in the machine folder.
Log OpenLog(const std::vector<std::u16string>& arguments, const MachineFolders& folders, platform::System& system,
            Console& console) {
    const std::u16string lockPath = folders.rootUsable ? folders.root + u"\\PortSetupCli.log.lock" : u"";
    const std::u16string given = GivenLogPath(arguments);
    if (!given.empty()) return Log(system, console, given, lockPath, true);
    if (!folders.logsUsable) return Log(system, console, folders.reason);
    return Log(system, console, folders.logs + u"\\PortSetupCli.log", lockPath, false);
}

}  // namespace

void ReportRunEvent(platform::Platform& platform, const std::vector<std::u16string>& arguments, int exitCode,
                    std::u16string_view reason, std::u16string_view logPath,
                    const std::vector<std::u16string>& warnings) {
    const std::optional<setup::RunCommand> command = EventCommandOf(arguments);
    if (!command) return;
    setup::RunRecord record;
    record.command = *command;
    record.commandLine = JoinArguments(arguments);
    record.exitCode = exitCode;
    record.reason = reason;
    record.warnings = warnings;
    record.logPath = logPath;
    setup::ReportRun(platform, record);
}

std::u16string OlderLogPath(std::u16string_view path) {
    const std::u16string p(path);
    if (p.size() >= 4 && p.compare(p.size() - 4, 4, u".log") == 0) return p.substr(0, p.size() - 4) + u".old.log";
    return p + u".old";
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int RunCli(const std::vector<std::u16string>& arguments, platform::Platform& platform, platform::System& system,
           platform::AnsiRegistry& registry, Console& console) {
    const Parsed parsed = ParseArguments(arguments);
    if (!parsed.command) {
        console.Err(u"PortSetupCli: " + parsed.error + u"\n\n" + UsageText());
        // A deployment system shows no stderr: a refused install or remove is
        // logged too, where the run would have logged; only an elevated run
        // touches the machine's files.
        std::u16string logPath;
        if (!arguments.empty() && (arguments[0] == u"install" || arguments[0] == u"remove") &&
            system.IsAdministrator()) {
            Log log = OpenLog(arguments, PrepareMachineFolders(system), system, console);
            log.Write(u"run: " + JoinArguments(arguments));
            log.Write(u"verdict: bad usage, exit code 2: " + parsed.error);
            logPath = log.WrittenPath();
        }
        ReportRunEvent(platform, arguments, setup::kExitUsage, u"bad usage: " + parsed.error, logPath);
        return setup::kExitUsage;
    }
    const Command& command = *parsed.command;
    switch (command.action) {
    case Action::Help:
        console.Out(UsageText());
        return setup::kExitDone;
    case Action::Version:
        console.Out(u"PortSetupCli " + std::u16string(PORTSETUP_VERSION_TEXT));
        return setup::kExitDone;
    case Action::Status: {
        // status reports in one piece at the end, not step by step.
        class Silent : public setup::Journal {
            void Step(std::u16string_view) override {}
        } silent;
        return Status(command, {platform, system, registry, silent}, console);
    }
    case Action::SetDefault:
        return SetDefault(command, arguments, platform, system, registry, console);
    case Action::Install:
    case Action::Remove:
        break;
    }

    // Rights first, before anything is written or started.
    if (!system.IsAdministrator()) {
        static constexpr std::u16string_view kNeedsRights =
            u"install and remove need administrator rights: run PortSetupCli elevated, or as SYSTEM.";
        console.Err(u"PortSetupCli: " + std::u16string(kNeedsRights));
        console.Out(u"failed");
        ReportRunEvent(platform, arguments, setup::kExitNotAdministrator, kNeedsRights);
        return setup::kExitNotAdministrator;
    }
    const MachineFolders folders = PrepareMachineFolders(system);
    Log log = OpenLog(arguments, folders, system, console);
    // One run at a time: a lock file in the machine folder, which only
    // administrators can hold, and which the system lets go when a run ends
    // or is killed. Taken before the first log line: the run in progress
    // holds the log's lock for its whole run.
    platform::LockAttempt singleRun;
    if (folders.rootUsable)
        singleRun = system.TakeLock(folders.root + u"\\PortSetupCli.lock", kLockFileDescriptor, 0);
    const bool anotherRun = singleRun.outcome == platform::LockAttempt::Outcome::HeldElsewhere;
    if (anotherRun) log.DoNotWait();
    log.Write(u"run: " + JoinArguments(arguments));
    ConsoleJournal journal(console, log);
    std::vector<std::u16string> warnings;  // besides the journal's
    auto finish = [&](const Verdict& verdict) {
        if (verdict.exitCode != setup::kExitDone) console.Err(u"PortSetupCli: " + verdict.message);
        log.Write(u"verdict: " + std::u16string(verdict.exitCode == setup::kExitDone ? u"done" : u"failed") +
                  u", exit code " + Number(static_cast<std::uint64_t>(verdict.exitCode)) +
                  (verdict.message.empty() ? u"" : u": " + verdict.message));
        console.Out(verdict.exitCode == setup::kExitDone ? u"done" : u"failed");
        std::vector<std::u16string> allWarnings = warnings;
        allWarnings.insert(allWarnings.end(), journal.warnings.begin(), journal.warnings.end());
        if (!log.Problem().empty()) allWarnings.push_back(log.Problem());
        ReportRunEvent(platform, arguments, verdict.exitCode, verdict.message, log.WrittenPath(), allWarnings);
        return verdict.exitCode;
    };
    if (anotherRun)
        return finish({setup::kExitAlreadyRunning, u"another PortSetupCli run is in progress on this machine; "
                                                   u"try again when it has ended."});
    if (singleRun.outcome == platform::LockAttempt::Outcome::Failed) {
        warnings.push_back(u"the single-run lock cannot be taken (" +
                           (folders.rootUsable ? singleRun.reason : folders.reason) + u"); going on without it.");
        console.Err(u"PortSetupCli: " + warnings.back());
    }

    log.HoldLock();
    const setup::Services services{platform, system, registry, journal};
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultCommandTimeoutMilliseconds;
    if (command.action == Action::Remove) return finish(setup::RemoveUnattended(timeout, services));

    setup::UnattendedInstallRequest request;
    request.connection.usb = *command.port == u"USB";
    request.connection.portName = PortNameOf(*command.port);
    request.portSettings = command.settings ? *command.settings : setup::DefaultPortSettings();
    request.packageDirectory =
        platform::DirectoryOf(system.FullPath(command.package ? *command.package : platform.ProgramDirectory()) +
                              u"\\");
    request.timeoutMilliseconds = timeout;
    request.rememberChoice = command.remember;
    request.portArgument = *command.port;
    // Machines are imaged before the printer is cabled: a port that is not
    // there yet is worth a warning, not a refusal.
    if (!request.connection.usb) {
        const platform::NameList present = setup::ListPresentComPorts(system);
        if (!present.listed)
            journal.Step(u"warning: the serial ports of this machine cannot be read (" + present.reason + u")");
        else if (const std::u16string absent = setup::AbsentPortWarning(*command.port, present.names); !absent.empty())
            journal.Step(u"warning: " + absent);
    }
    for (const auto& path : ChangeableByUsers(system, request.packageDirectory))
        journal.Step(u"warning: " + path + u" can be changed by non-administrators: the driver files could be "
                     u"swapped before the print system loads them");
    return finish(setup::InstallUnattended(request, services));
}

}  // namespace cli
