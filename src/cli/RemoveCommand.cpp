// remove: every printer of the product's driver, then the driver; as install
// does, only with a Print Spooler that runs (a stopped one is started). Once
// all is removed, the stored choice goes too: nothing is installed that a
// repair or upgrade would install again.
#include "cli/MachineRun.h"
#include "cli/Verbs.h"
#include "setup/Install.h"
#include "setup/MachineRecord.h"
#include "setup/PreChecks.h"
#include "setup/Remove.h"
#include "setup/Text.h"

namespace cli {

namespace {

void ForgetChoice(platform::AnsiRegistry& registry, setup::Journal& journal) {
    setup::ForgetChoice(registry, [&](std::u16string_view name, long status) {
        if (status == platform::kErrorSuccess) journal.Step(u"cleared: the stored choice's " + std::u16string(name));
        else if (status != platform::kErrorFileNotFound)
            journal.Step(u"warning: the stored choice's " + std::u16string(name) + u" could not be cleared (HKLM\\" +
                         std::u16string(setup::kMachineRecordKey) + u", status " +
                         setup::Number(static_cast<std::uint64_t>(status)) + u")");
    });
}

}  // namespace

int RunRemove(VerbRun& run) {
    MachineRun& machine = *run.machine;
    const setup::Services services = machine.Start(run.product);
    const setup::Finding spooler = setup::SpoolerFinding(true, run.seams);
    if (spooler.result == setup::Finding::Result::Refused)
        return machine.Finish({spooler.exitCode, spooler.detail + u"; nothing was changed. Fix: " + spooler.fix});
    machine.Journal().Step((spooler.result == setup::Finding::Result::Passed ? u"checked: " : u"warning: ") +
                           spooler.detail);
    const std::uint32_t timeout =
        run.command.timeoutSeconds ? *run.command.timeoutSeconds * 1000u : setup::kDefaultCommandTimeoutMilliseconds;
    const setup::Verdict verdict = setup::RemoveUnattended(timeout, services);
    if (!verdict.failed()) ForgetChoice(run.seams.registry, machine.Journal());
    return machine.Finish(verdict);
}

}  // namespace cli
