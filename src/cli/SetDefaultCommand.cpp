// set-default: the running user's own default printer, with no rights, lock
// or log of the machine's; its output and its event are its record.
#include "cli/Cli.h"
#include "cli/Verbs.h"
#include "modules/modRegedit.h"
#include "setup/DefaultPrinter.h"
#include "setup/Text.h"

namespace cli {

int RunSetDefault(VerbRun& run) {
    const Command& command = run.command;
    class Steps : public setup::Journal {
    public:
        Steps(Console& console, bool quiet) : console_(console), quiet_(quiet) {}
        void Step(std::u16string_view text) override {
            if (!quiet_) console_.Out(text);
        }

    private:
        Console& console_;
        bool quiet_;
    } steps(run.console, command.quiet);
    const std::uint32_t timeout =
        command.timeoutSeconds ? *command.timeoutSeconds * 1000u : setup::kDefaultSetTimeoutMilliseconds;
    const setup::Verdict verdict = setup::SetDefaultForUser(timeout, {run.seams, steps, run.product});
    const int exitCode = verdict.exitCode;
    std::vector<std::u16string> warnings;
    if (verdict.failed() && command.quiet)
        warnings.push_back(ArrangeRetryAtNextSignIn(run.seams.machine, run.seams.registry));
    ReportRunEvent(run.seams, run.line, exitCode, verdict.message, {}, warnings);
    if (verdict.failed()) run.console.Err(u"PortSetupCli: " + verdict.message);
    for (const auto& warning : warnings) run.console.Err(u"PortSetupCli: " + warning);
    if (!command.quiet) run.console.Out(verdict.failed() ? u"failed" : u"done");
    return exitCode;
}

std::u16string ArrangeRetryAtNextSignIn(platform::System& machine, platform::AnsiRegistry& registry) {
    const std::u16string command = u"\"" + machine.ProgramDirectory() + u"\\PortSetupCli.exe\" set-default --quiet";
    const long status = modRegedit::RegSetString(registry, platform::kHkeyCurrentUser, std::u16string(kRetryKey),
                                                 std::u16string(kRetryValue), command);
    if (status != platform::kErrorSuccess)
        return u"one more try at the next sign-in could not be arranged (HKCU\\" + std::u16string(kRetryKey) +
               u", status " + setup::Number(static_cast<std::uint64_t>(status)) + u").";
    return u"one more try is arranged for the next sign-in of " + machine.RunningAccountName() + u" (HKCU\\" +
           std::u16string(kRetryKey) + u"\\" + std::u16string(kRetryValue) + u").";
}

}  // namespace cli
