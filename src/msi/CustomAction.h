// The MSI's custom action around PortSetupCli: what it runs (from the
// CustomActionData the package writes) and what the run's end means to
// Windows Installer: success, success with a restart at the end, or an error
// message that names the cause and the fix, in the MSI log and, in an
// interactive installation, in a message box.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace msi {

// The program and its command line, from CustomActionData:
// "\"C:\\Program Files\\PortSetup\\PortSetupCli.exe\" install ...".
struct CliCommand {
    std::u16string program;      // the quoted first word, a PortSetupCli.exe
    std::u16string commandLine;  // the whole text, as the program gets it
    std::u16string verb;         // "install", "remove"
    std::uint32_t timeoutMilliseconds = 0;  // its commands' time limit (--timeout, or the default)
};
// Nothing when the text does not start with a quoted path that ends in
// "\PortSetupCli.exe", or has no command after it: the action then runs
// nothing.
std::optional<CliCommand> ReadCliCommand(std::u16string_view customActionData);

// How the run went.
struct CliRun {
    bool started = false;
    std::u16string startError;         // when not started
    // Said nothing for ReaderLimitMilliseconds: not waited for any longer.
    bool gaveUp = false;
    bool exitCodeRead = false;         // the system gave its exit code
    std::uint32_t exitCode = 0;
    std::vector<std::u16string> lines;  // its stdout and stderr, in order
};

struct ActionOutcome {
    bool succeeded = false;
    bool restart = false;        // Windows Installer is to ask for a restart at the end
    std::u16string summary;      // one line for the MSI log
    std::u16string errorText;    // the error message when it failed
};
ActionOutcome JudgeRun(const CliCommand& command, const CliRun& run);

// The error when PortSetupCli's folder can be changed by others (`why`): it
// is not run, since SYSTEM would run what a user may have put there.
std::u16string ProgramFolderRefusal(std::u16string_view folder, std::u16string_view why);

// The verdict's reason as the run printed it: its last "PortSetupCli: "
// line and those that follow it, up to the closing "failed"; empty when
// there is none.
std::u16string CauseOf(const std::vector<std::u16string>& lines);

// `text` as the text of a record whose template is "[1]": brackets and
// braces, which Windows Installer would read as properties, become
// parentheses.
std::u16string PlainForRecord(std::u16string_view text);

// Splits the UTF-8 bytes read so far into lines; `pending` keeps an
// unfinished last line until more bytes come (or the output ends).
void TakeLines(std::string& pending, std::vector<std::u16string>& lines, bool ended);

}  // namespace msi
