// repair: the installation again, as the machine's record stores it (the
// port, or the device whose port it is, and the line settings of the last
// install --remember, the MSI's among them) with the package beside the
// program: a printer whose device Windows renumbered moves to its port. What the record holds is
// checked as the MSI's stored values are; with no port stored there is
// nothing to repair, and nothing is changed.
#include "cli/MachineRun.h"
#include "cli/Verbs.h"
#include "setup/ExitCodes.h"
#include "setup/MachineRecord.h"
#include "setup/PortDevices.h"

namespace cli {

int RunRepair(VerbRun& run) {
    MachineRun& machine = *run.machine;
    const setup::StoredChoice stored = setup::ReadStoredChoice(run.seams.registry);
    // A stored device stands for the port: the port is the device's now.
    const bool device = stored.device && setup::IsDevicePattern(*stored.device);
    if (!device && (stored.device || !stored.port || !setup::Port::Parse(*stored.port))) {
        machine.Start(run.product);
        const std::u16string what =
            stored.device ? u"the stored device \"" + *stored.device + u"\" is not a part of a device ID"
            : stored.port ? u"the stored port \"" + *stored.port + u"\" is not a COM port from COM1 to COM256, nor USB"
                          : u"no port is stored under HKLM\\" + std::u16string(setup::kMachineRecordKey);
        return machine.Finish({setup::kExitNothingStored,
                               u"nothing to repair: " + what +
                                   u"; nothing was changed. Fix: install the MSI with PORT (and SETTINGS), or run "
                                   u"PortSetupCli install --port PORT --remember elevated."});
    }
    // The install with the stored choice, the package beside the program,
    // and the choice stored again; --timeout and --log as given.
    Command install = run.command;
    install.action = Action::Install;
    install.storedPort = stored.port;
    install.storedDevice = stored.device;
    install.storedSettings = stored.settings.value_or(u"");
    install.remember = true;
    VerbRun again{run.line, install, run.seams, run.console, run.product, run.machine};
    return RunInstall(again);
}

}  // namespace cli
