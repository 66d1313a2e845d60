// remove: every printer of the product's driver, then the driver.
#include "cli/MachineRun.h"
#include "cli/Verbs.h"
#include "setup/Install.h"
#include "setup/Remove.h"

namespace cli {

int RunRemove(VerbRun& run) {
    MachineRun& machine = *run.machine;
    const setup::Services services = machine.Start(run.product);
    const std::uint32_t timeout =
        run.command.timeoutSeconds ? *run.command.timeoutSeconds * 1000u : setup::kDefaultCommandTimeoutMilliseconds;
    return machine.Finish(setup::RemoveUnattended(timeout, services));
}

}  // namespace cli
