#include "cli/Cli.h"

#include "cli/Arguments.h"
#include "platform/CommandLineText.h"
#include "setup/Unattended.h"

#include <string>

namespace cli {

namespace {

using setup::Verdict;

std::u16string Number(std::uint64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// The log: one line per event, with the local time, appended to a file that
// rolls over to one older copy before it would reach 1 MiB. A log that cannot
// be written is reported once and the job goes on.
class Log {
public:
    Log(platform::System& system, Console& console, std::u16string path)
        : system_(system), console_(console), path_(std::move(path)) {}

    void Write(std::u16string_view event) {
        if (broken_) return;
        const std::string line = Utf8(system_.LocalTimestamp() + u" " + std::u16string(event)) + "\r\n";
        const auto size = system_.FileSize(path_);
        if (size && *size + line.size() >= kLogLimitBytes && !system_.RenameReplacing(path_, OlderLogPath(path_))) {
            Broken(u"it could not be rolled over");
            return;
        }
        std::u16string reason;
        if (!system_.AppendToFile(path_, line, reason)) Broken(reason);
    }

private:
    void Broken(std::u16string_view reason) {
        broken_ = true;
        console_.Err(u"PortSetupCli: the log " + path_ + u" cannot be written (" + std::u16string(reason) +
                     u"); going on without it.");
    }

    platform::System& system_;
    Console& console_;
    std::u16string path_;
    bool broken_ = false;
};

// Each step goes to stdout as it happens, and to the log.
class ConsoleJournal : public setup::Journal {
public:
    ConsoleJournal(Console& console, Log& log) : console_(console), log_(log) {}
    void Step(std::u16string_view line) override {
        console_.Out(line);
        log_.Write(line);
    }

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

int Status(const Command& command, setup::Services services, Console& console) {
    const setup::InstallationStatus status = setup::QueryStatus(services);
    const std::u16string portName = command.port ? PortNameOf(*command.port) : u"";
    const bool asAsked = setup::InstalledAsAsked(status, portName);
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
        json += u"],\"defaultPrinter\":" + JsonString(status.defaultPrinter) + u",\"ports\":{";
        for (std::size_t i = 0; i < status.ports.size(); ++i) {
            json += (i ? u"," : u"") + JsonString(u"COM" + Number(i + 1) + u":") + u":" +
                    (status.ports[i] ? JsonString(*status.ports[i]) : u"null");
        }
        json += u"},\"askedPort\":" + (command.port ? JsonString(*command.port) : u"null") +
                u",\"installedAsAsked\":" + (asAsked ? u"true" : u"false") + u"}";
        console.Out(json);
    } else {
        console.Out(u"Printer driver \"KALDO QTX_VELTRO\": " +
                    std::u16string(status.driverInstalled ? u"installed" : u"not installed"));
        console.Out(status.printers.empty() ? u"Printers that use it: none" : u"Printers that use it:");
        for (const auto& p : status.printers)
            console.Out(u"  " + p.name + u" on " + p.port + (p.isDefault ? u" (the default printer)" : u""));
        console.Out(u"Default printer of the user this runs as: " +
                    (status.defaultPrinter.empty() ? u"none" : status.defaultPrinter));
        console.Out(u"Ports values:");
        for (std::size_t i = 0; i < status.ports.size(); ++i)
            console.Out(u"  COM" + Number(i + 1) + u": " + (status.ports[i] ? *status.ports[i] : u"(none)"));
        console.Out(u"Installed as asked" + (command.port ? u" (" + *command.port + u")" : u"") + u": " +
                    (asAsked ? u"yes" : u"no"));
    }
    return asAsked ? setup::kExitDone : setup::kExitFailed;
}

// The log file: --log's value, or the machine's log. Read from the raw
// arguments, so that a refused command line is logged where it asked.
std::u16string LogPathOf(const std::vector<std::u16string>& arguments, platform::System& system) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i].rfind(u"--log=", 0) == 0 && arguments[i].size() > 6) return arguments[i].substr(6);
        if (arguments[i] == u"--log" && i + 1 < arguments.size() && !arguments[i + 1].empty()) return arguments[i + 1];
    }
    return system.ProgramDataDirectory() + u"\\PortSetup\\Logs\\PortSetupCli.log";
}

}  // namespace

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
        // logged too, where the run would have logged.
        if (!arguments.empty() && (arguments[0] == u"install" || arguments[0] == u"remove")) {
            Log log(system, console, LogPathOf(arguments, system));
            log.Write(u"run: " + JoinArguments(arguments));
            log.Write(u"verdict: bad usage, exit code 2: " + parsed.error);
        }
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
    case Action::Install:
    case Action::Remove:
        break;
    }

    Log log(system, console, LogPathOf(arguments, system));
    log.Write(u"run: " + JoinArguments(arguments));
    auto finish = [&](const Verdict& verdict) {
        if (verdict.exitCode != setup::kExitDone) console.Err(u"PortSetupCli: " + verdict.message);
        log.Write(u"verdict: " + std::u16string(verdict.exitCode == setup::kExitDone ? u"done" : u"failed") +
                  u", exit code " + Number(static_cast<std::uint64_t>(verdict.exitCode)) +
                  (verdict.message.empty() ? u"" : u": " + verdict.message));
        console.Out(verdict.exitCode == setup::kExitDone ? u"done" : u"failed");
        return verdict.exitCode;
    };
    // Rights first, before anything is started; then one run at a time.
    if (!system.IsAdministrator())
        return finish({setup::kExitNotAdministrator,
                       u"install and remove need administrator rights: run PortSetupCli elevated, or as SYSTEM."});
    if (!system.ClaimSingleRun())
        return finish({setup::kExitAlreadyRunning, u"another PortSetupCli run is in progress on this machine; "
                                                   u"try again when it has ended."});

    ConsoleJournal journal(console, log);
    const setup::Services services{platform, system, registry, journal};
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultCommandTimeoutMilliseconds;
    if (command.action == Action::Remove) return finish(setup::RemoveUnattended(timeout, services));

    setup::UnattendedInstallRequest request;
    request.connection.usb = *command.port == u"USB";
    request.connection.portName = PortNameOf(*command.port);
    request.portSettings = command.settings ? *command.settings : DefaultPortSettings();
    request.packageDirectory =
        platform::DirectoryOf(system.FullPath(command.package ? *command.package : platform.ProgramDirectory()) +
                              u"\\");
    request.timeoutMilliseconds = timeout;
    return finish(setup::InstallUnattended(request, services));
}

}  // namespace cli
