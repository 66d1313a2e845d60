#include "setup/RunEvents.h"

#include "setup/Text.h"

namespace setup {

std::uint32_t EventIdOf(const RunRecord& record) {
    std::uint32_t succeeded = kEventInstallSucceeded;
    switch (record.command) {
    case RunCommand::Install: succeeded = kEventInstallSucceeded; break;
    case RunCommand::Remove: succeeded = kEventRemoveSucceeded; break;
    case RunCommand::SetDefault: succeeded = kEventSetDefaultSucceeded; break;
    case RunCommand::Delete: succeeded = kEventDeleteSucceeded; break;
    }
    return record.exitCode == 0 ? succeeded : succeeded + 1;
}

std::u16string EventTextOf(const RunRecord& record) {
    std::u16string text = u"Command: " + record.commandLine + u"\r\nVerdict: " +
                          (record.exitCode == 0 ? u"done" : u"failed") + u"\r\nExit code: " +
                          Number(static_cast<std::uint32_t>(record.exitCode));
    if (!record.reason.empty()) text += u"\r\nReason: " + record.reason;
    for (const auto& warning : record.warnings) text += u"\r\nWarning: " + warning;
    if (!record.logPath.empty()) text += u"\r\nLog: " + record.logPath;
    return text;
}

void ReportRun(platform::EventLog& events, const RunRecord& record) {
    events.WriteEventLog(record.exitCode == 0 ? platform::EventType::Information : platform::EventType::Error,
                         EventIdOf(record), EventTextOf(record));
}

}  // namespace setup
