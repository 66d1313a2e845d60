#include "msi/CustomAction.h"

#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/RunLimits.h"
#include "setup/Text.h"

namespace msi {

namespace {

constexpr std::u16string_view kProgramName = u"\\PortSetupCli.exe";
constexpr std::u16string_view kErrorPrefix = u"PortSetupCli: ";

bool EndsWithProgram(std::u16string_view path) {
    if (path.size() <= kProgramName.size()) return false;
    const std::u16string_view tail = path.substr(path.size() - kProgramName.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char16_t a = tail[i], b = kProgramName[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b - u'A' + u'a');
        if (a != b) return false;
    }
    return true;
}

}  // namespace

std::optional<CliCommand> ReadCliCommand(std::u16string_view data) {
    if (data.size() < 2 || data[0] != u'"') return std::nullopt;
    const std::size_t close = data.find(u'"', 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    CliCommand command;
    command.program = std::u16string(data.substr(1, close - 1));
    if (!EndsWithProgram(command.program)) return std::nullopt;
    std::size_t verb = close + 1;
    if (verb >= data.size() || data[verb] != u' ') return std::nullopt;
    while (verb < data.size() && data[verb] == u' ') ++verb;
    const std::size_t end = data.find(u' ', verb);
    command.verb = std::u16string(data.substr(verb, end == std::u16string_view::npos ? std::u16string_view::npos : end - verb));
    if (command.verb.empty()) return std::nullopt;
    command.commandLine = std::u16string(data);
    command.timeoutMilliseconds = setup::kDefaultCommandTimeoutMilliseconds;
    // "--timeout N" among the words after the command, as PortSetupCli reads it.
    static constexpr std::u16string_view kTimeout = u" --timeout ";
    if (const std::size_t at = data.find(kTimeout); at != std::u16string_view::npos) {
        std::uint32_t seconds = 0;
        std::size_t i = at + kTimeout.size();
        for (; i < data.size() && data[i] >= u'0' && data[i] <= u'9' && seconds < 86400; ++i)
            seconds = seconds * 10 + static_cast<std::uint32_t>(data[i] - u'0');
        if (seconds >= 1 && seconds <= 86400 && (i == data.size() || data[i] == u' '))
            command.timeoutMilliseconds = seconds * 1000u;
    }
    return command;
}

std::u16string CauseOf(const std::vector<std::u16string>& lines) {
    std::size_t last = lines.size();
    for (std::size_t i = lines.size(); i-- > 0;)
        if (lines[i].rfind(kErrorPrefix, 0) == 0) {
            last = i;
            break;
        }
    if (last == lines.size()) return {};
    std::size_t end = lines.size();
    while (end > last + 1 && (lines[end - 1] == u"failed" || lines[end - 1].empty())) --end;
    std::u16string cause = lines[last].substr(kErrorPrefix.size());
    for (std::size_t i = last + 1; i < end; ++i) cause += u"\r\n" + lines[i];
    return cause;
}

ActionOutcome JudgeRun(const CliCommand& command, const CliRun& run) {
    ActionOutcome outcome;
    const std::u16string what = command.verb == u"remove" ? u"remove the printer driver" : u"install the printer driver";
    if (!run.started) {
        outcome.summary = u"PortSetupCli could not be started: " + run.startError;
        outcome.errorText = u"PortSetup could not " + what + u": PortSetupCli.exe could not be started (" +
                            run.startError + u").";
        return outcome;
    }
    const std::u16string log = u"\r\n\r\nThe run's log is %ProgramData%\\PortSetup\\Logs\\PortSetupCli.log; the Application "
                               u"event log holds its event (source PortSetup).";
    if (run.gaveUp || !run.exitCodeRead) {
        const std::u16string why =
            run.gaveUp ? u"PortSetupCli said nothing for " +
                             setup::Number(setup::ReaderLimitMilliseconds(command.timeoutMilliseconds) / 1000) +
                             u" s, past its own time limits; it was not waited for any longer"
                       : u"the exit code of PortSetupCli could not be read";
        outcome.summary = u"PortSetupCli " + command.verb + u": " + why;
        outcome.errorText = u"PortSetup could not " + what + u": " + why + u"." + log;
        return outcome;
    }
    const std::u16string code = setup::Number(run.exitCode);
    const int exitCode = static_cast<int>(run.exitCode);
    if (setup::Succeeded(exitCode)) {
        outcome.succeeded = true;
        outcome.restart = exitCode == setup::kExitRestartNeeded;
        outcome.summary = u"PortSetupCli " + command.verb + u" ended with exit code " + code +
                          (!outcome.restart              ? u": done"
                           : command.verb == u"remove" ? u": done; Windows must restart to finish removing the driver package"
                                                       : u": done; Windows must restart before the USB printer uses the driver");
        return outcome;
    }
    const std::u16string cause = CauseOf(run.lines);
    outcome.summary = u"PortSetupCli " + command.verb + u" ended with exit code " + code + u": " +
                      (cause.empty() ? u"failed" : cause);
    outcome.errorText = u"PortSetup could not " + what + u" (PortSetupCli exit code " + code + u"):\r\n" +
                        (cause.empty() ? u"see the log." : cause) + log;
    return outcome;
}

std::u16string ProgramFolderRefusal(std::u16string_view folder, std::u16string_view why) {
    return u"PortSetup did not run PortSetupCli.exe: its folder " + std::u16string(folder) +
           u" can be changed by others (" + std::u16string(why) +
           u"), and SYSTEM would run what they put there. Nothing was changed. Fix: install PortSetup into its "
           u"Program Files folder (leave INSTALLFOLDER as it is), or remove the folder and install again.";
}

std::u16string PlainForRecord(std::u16string_view text) {
    std::u16string plain(text);
    for (char16_t& c : plain) {
        if (c == u'[' || c == u'{') c = u'(';
        if (c == u']' || c == u'}') c = u')';
    }
    return plain;
}

void TakeLines(std::string& pending, std::vector<std::u16string>& lines, bool ended) {
    std::size_t start = 0;
    for (std::size_t newline; (newline = pending.find('\n', start)) != std::string::npos; start = newline + 1) {
        std::string line = pending.substr(start, newline - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(setup::FromUtf8(line));
    }
    pending.erase(0, start);
    if (ended && !pending.empty()) {
        if (pending.back() == '\r') pending.pop_back();
        lines.push_back(setup::FromUtf8(pending));
        pending.clear();
    }
}

}  // namespace msi
