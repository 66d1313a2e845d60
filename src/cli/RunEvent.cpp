#include "cli/RunEvent.h"

#include "cli/Verbs.h"
#include "setup/MachineRecord.h"
#include "setup/RunEvents.h"
#include "setup/Text.h"

namespace cli {

void ReportRunEvent(const platform::Seams& seams, const CommandLine& line, int exitCode, std::u16string_view reason,
                    std::u16string_view logPath, const std::vector<std::u16string>& warnings,
                    const std::vector<std::u16string>& removed) {
    const Verb* verb = line.parsed.verb ? VerbFor(*line.parsed.verb) : nullptr;
    if (!verb || !verb->event) return;  // status, doctor, help and version leave none
    setup::RunRecord record;
    record.command = *verb->event;
    record.commandLine = ShownCommandLine(line);
    record.exitCode = exitCode;
    record.reason = reason;
    record.warnings = warnings;
    record.removed = removed;
    record.logPath = logPath;
    // An install's or remove's verdict is also the machine's last one, for
    // inventory and wrappers; a run without the rights to write it has
    // changed nothing of the machine's.
    if (verb->takesMachineRun && seams.machine.IsAdministrator()) {
        const long status = setup::RecordLastVerdict(
            seams.registry, {record.commandLine, exitCode, std::u16string(reason), seams.machine.LocalTimestamp()});
        if (status != platform::kErrorSuccess)
            record.warnings.push_back(u"the verdict could not be kept under HKLM\\" +
                                      std::u16string(setup::kMachineRecordKey) + u" (status " +
                                      setup::Number(static_cast<std::uint64_t>(status)) + u")");
    }
    setup::ReportRun(seams.events, record);
}

}  // namespace cli
