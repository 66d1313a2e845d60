// test-print: a page through the print system, watched until it has
// printed; no rights needed, nothing of the machine's changed.
#include "cli/Verbs.h"
#include "setup/TestPrint.h"

namespace cli {

int RunTestPrint(VerbRun& run) {
    class Steps : public setup::Journal {
    public:
        explicit Steps(Console& console) : console_(console) {}
        void Step(std::u16string_view text) override { console_.Out(text); }

    private:
        Console& console_;
    } steps(run.console);
    const std::uint32_t timeout =
        run.command.timeoutSeconds ? *run.command.timeoutSeconds * 1000u : setup::kDefaultTestPrintMilliseconds;
    const setup::Verdict verdict = setup::TestPrint(timeout, {run.seams, steps, run.product});
    if (verdict.failed()) run.console.Err(u"PortSetupCli: " + verdict.message);
    run.console.Out(verdict.failed() ? u"failed" : u"done");
    return verdict.failed() ? setup::kExitFailed : setup::kExitDone;
}

}  // namespace cli
