// PortSetupCli: runs one command line from start to exit code, on the
// platform seams, so that the host tests run it whole.
#pragma once

#include "platform/AnsiRegistry.h"
#include "platform/Platform.h"
#include "platform/System.h"

#include <cstdint>
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

inline constexpr std::uint64_t kLogLimitBytes = std::uint64_t{1024} * 1024;
// How long a log line waits for another run's writer to finish its line.
inline constexpr std::uint32_t kLogLockWaitMilliseconds = 5000;

// Runs the command given by `arguments` (those after the program name) and
// returns the exit code.
int RunCli(const std::vector<std::u16string>& arguments, platform::Platform& platform, platform::System& system,
           platform::AnsiRegistry& registry, Console& console);

// Writes the one event of an install, remove or set-default run as it ends,
// however it ends (its verdict, refused, overdue, an internal error);
// nothing for the other commands.
void ReportRunEvent(platform::Platform& platform, const std::vector<std::u16string>& arguments, int exitCode,
                    std::u16string_view reason, std::u16string_view logPath = {},
                    const std::vector<std::u16string>& warnings = {});

// The log file's older copy: "X.log" becomes "X.old.log".
std::u16string OlderLogPath(std::u16string_view path);

// UTF-8 for the log, JSON and redirected output; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view text);

}  // namespace cli
