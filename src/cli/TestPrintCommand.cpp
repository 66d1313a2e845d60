// test-print: a page through the print system, watched until it has
// printed; no rights needed, nothing of the machine's changed. Its output
// and its event are its record.
#include "cli/RunEvent.h"
#include "cli/StatusReport.h"
#include "cli/Verbs.h"
#include "setup/TestPrint.h"

namespace cli {

int RunTestPrint(VerbRun& run) {
    class Steps : public setup::Journal {
    public:
        Steps(Console& console, bool quiet) : console_(console), quiet_(quiet) {}
        void Step(std::u16string_view text) override {
            if (!quiet_) console_.Out(text);
        }

    private:
        Console& console_;
        bool quiet_;
    } steps(run.console, run.command.json);  // --json: one object on stdout, nothing else
    const std::uint32_t timeout =
        run.command.timeoutSeconds ? *run.command.timeoutSeconds * 1000u : setup::kDefaultTestPrintMilliseconds;
    const setup::TestPrintResult result = setup::TestPrint(timeout, {run.seams, steps, run.product});
    const setup::Verdict& verdict = result.verdict;
    ReportRunEvent(run.seams, run.line, verdict.exitCode, verdict.message);
    if (verdict.failed()) run.console.Err(u"PortSetupCli: " + verdict.message);
    if (run.command.json) run.console.Out(TestPrintJson(result));
    else run.console.Out(verdict.failed() ? u"failed" : u"done");
    return verdict.exitCode;
}

}  // namespace cli
