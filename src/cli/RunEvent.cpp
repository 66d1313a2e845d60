#include "cli/RunEvent.h"

#include "cli/Verbs.h"
#include "setup/RunEvents.h"

namespace cli {

void ReportRunEvent(platform::EventLog& events, const CommandLine& line, int exitCode, std::u16string_view reason,
                    std::u16string_view logPath, const std::vector<std::u16string>& warnings) {
    const Verb* verb = line.parsed.verb ? VerbFor(*line.parsed.verb) : nullptr;
    if (!verb || !verb->event) return;  // status, doctor, test-print, help and version leave none
    setup::RunRecord record;
    record.command = *verb->event;
    record.commandLine = ShownCommandLine(line);
    record.exitCode = exitCode;
    record.reason = reason;
    record.warnings = warnings;
    record.logPath = logPath;
    setup::ReportRun(events, record);
}

}  // namespace cli
