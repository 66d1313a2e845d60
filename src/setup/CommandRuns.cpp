#include "setup/CommandRuns.h"

#include "setup/CommandLines.h"
#include "setup/Text.h"

#include <algorithm>
#include <vector>

namespace setup {

std::optional<Verdict> FailureOfRun(Services& s, std::u16string_view program, std::u16string_view tool,
                                    std::uint32_t timeoutMilliseconds, const std::u16string& commandLine,
                                    std::optional<std::uint32_t>& exitCode) {
    s.journal.Step(u"started: " + commandLine);
    const std::uint64_t startedAt = s.machine.Milliseconds();
    platform::StartResult start = s.processes.RunDetached(program, commandLine);
    if (!start.started)
        return Failed(std::u16string(tool) + u" could not be started:\n\n" + commandLine + u"\n\n" + start.reason);
    std::vector<platform::StartedProcess> process;
    process.push_back(std::move(start.process));
    const std::u16string limit = Number(timeoutMilliseconds / 1000) + u" s";
    if (s.processes.WaitForProcesses(process, timeoutMilliseconds) == platform::WaitResult::TimedOut) {
        s.journal.Step(u"not ended within " + limit + u", left running: " + commandLine);
        return Verdict{kExitTimedOut, std::u16string(tool) + u" did not end within " + limit +
                                          u"; it was left running:\n\n" + commandLine};
    }
    exitCode = s.processes.ExitCodeOf(process.front());
    s.journal.Step(u"ended with exit code " + (exitCode ? Number(*exitCode) : u"unknown") + u" after " +
                   Number(s.machine.Milliseconds() - startedAt) + u" ms: " + commandLine);
    return std::nullopt;
}

std::optional<Verdict> FailureOfCommand(Services& s, std::uint32_t timeoutMilliseconds, const std::u16string& commandLine) {
    std::optional<std::uint32_t> ignored;
    return FailureOfRun(s, PrinterSetupProgram, u"The printer setup tool", timeoutMilliseconds, commandLine, ignored);
}

bool DriverInstalled(const platform::NameList& drivers, const Product& product) {
    return std::find(drivers.names.begin(), drivers.names.end(), product.driverName) != drivers.names.end();
}

}  // namespace setup
