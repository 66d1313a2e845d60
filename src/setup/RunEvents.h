// The one event each unattended run writes to the Application event log when
// it ends, where administrators and their log collectors look: source
// "PortSetup", one event ID per command and outcome, and a text that reads
// whole without the programs' message table.
#pragma once

#include "platform/Seams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace setup {

enum class RunCommand { Install, Repair, Remove, SetDefault, Delete, TestPrint };

// The event IDs: the command's succeeded ID, plus one when it failed. They
// are the message IDs of the programs' message table too.
inline constexpr std::uint32_t kEventInstallSucceeded = 1000;
inline constexpr std::uint32_t kEventInstallFailed = 1001;
inline constexpr std::uint32_t kEventRemoveSucceeded = 1010;
inline constexpr std::uint32_t kEventRemoveFailed = 1011;
inline constexpr std::uint32_t kEventSetDefaultSucceeded = 1020;
inline constexpr std::uint32_t kEventSetDefaultFailed = 1021;
inline constexpr std::uint32_t kEventDeleteSucceeded = 1030;
inline constexpr std::uint32_t kEventDeleteFailed = 1031;
inline constexpr std::uint32_t kEventTestPrintSucceeded = 1040;
inline constexpr std::uint32_t kEventTestPrintFailed = 1041;
inline constexpr std::uint32_t kEventRepairSucceeded = 1050;
inline constexpr std::uint32_t kEventRepairFailed = 1051;

struct RunRecord {
    RunCommand command = RunCommand::Install;
    std::u16string commandLine;  // as it ran: "PortSetupCli install --port COM3", "PortSetup.exe DEL"
    int exitCode = 0;            // 0 (or 3010, a restart to follow): succeeded
    std::u16string reason;       // why it failed; empty when it did not
    std::vector<std::u16string> warnings;
    std::vector<std::u16string> removed;  // what the run removed that the verdict does not name
    std::u16string logPath;      // the run's log file; empty when there is none
};

std::uint32_t EventIdOf(const RunRecord& record);
// The longest event text written: one insertion string holds at most 31,839
// characters.
inline constexpr std::size_t kEventTextLimit = 31000;
// The event's text, a line each: the verdict and the exit code first, then
// the reason, warnings, what was removed and the log file where there are any, and the command line
// last; control characters shown escaped. Only the command line is shortened
// to keep the text within kEventTextLimit.
std::u16string EventTextOf(const RunRecord& record);
// Writes the run's event; one that cannot be written changes nothing.
void ReportRun(platform::EventLog& events, const RunRecord& record);

}  // namespace setup
