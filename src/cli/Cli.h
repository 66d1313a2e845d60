// PortSetupCli: runs one command line from start to exit code, on the
// machine's seams, so that the host tests run it whole.
#pragma once

#include "cli/Arguments.h"
#include "platform/Seams.h"

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Where the program's output goes: stdout and stderr.
class Console {
public:
    virtual ~Console() = default;
    virtual void Out(std::u16string_view line) = 0;
    virtual void Err(std::u16string_view line) = 0;
};

// Runs the command line and returns the exit code.
int RunCli(const CommandLine& line, const platform::Seams& seams, Console& console);

// Writes the one event of an install, remove or set-default run as it ends,
// however it ends (its verdict, refused, overdue, an internal error);
// nothing for the other commands.
void ReportRunEvent(platform::EventLog& events, const CommandLine& line, int exitCode, std::u16string_view reason,
                    std::u16string_view logPath = {}, const std::vector<std::u16string>& warnings = {});

// Where a failed `set-default --quiet` (Active Setup's command, which marks
// its entry done however the run ends) arranges one more try: a RunOnce
// value of the signed-in user's, with the same command.
inline constexpr std::u16string_view kRetryKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr std::u16string_view kRetryValue = u"PortSetupDefaultPrinter";

// Arranges that retry; what was done, for the run's event and stderr.
std::u16string ArrangeRetryAtNextSignIn(platform::Machine& machine, platform::AnsiRegistry& registry);

}  // namespace cli
