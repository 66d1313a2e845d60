#include "setup/ExitCodeTable.h"

#include "setup/ExitCodes.h"

namespace setup {

namespace {

const ExitCodeRow kRows[] = {
    {kExitDone, u"done and checked",
     u"done and checked (`status`: installed as asked; `doctor`: nothing would stop an installation)",
     u""},
    {kExitRestartNeeded, u"done; Windows must restart before the USB printer uses the driver",
     u"done, and Windows must restart before the USB printer uses the driver (pnputil asked for it)",
     u"let the deployment system schedule the restart"},
    {kExitNotAdministrator, u"not run as an administrator",
     u"not run as an administrator; nothing was started",
     u"run elevated or as SYSTEM"},
    {kExitPageNotSent, u"test-print: the print system did not take the page",
     u"`test-print`: the print system did not take the page (the job was aborted)",
     u"check the port's mapping and the printer"},
    {kExitPrintCancelled, u"test-print: the job was deleted before it printed",
     u"`test-print`: the job was deleted before it printed",
     u"print again"},
    {kExitUsage, u"bad usage",
     u"bad usage; the usage text is on stderr; nothing was started",
     u"fix the command line"},
    {kExitPackageHasLinks, u"the driver package holds a link",
     u"the driver package holds a link (junction, symbolic link) or a file of several names, or a folder on its way is a link; nothing was read or copied",
     u"copy the vendor's package as plain files to a folder only administrators can change"},
    {kExitPackageUnsigned, u"the package's catalog is not signed as needed",
     u"the driver package can be changed by others, and its catalog is not signed by a publisher this machine trusts for drivers, or does not list the INF and every file it names; nothing was started, the copy removed",
     u"put the package in a folder only administrators can change (Program Files, the MSI's folder), or use the vendor's signed package whole"},
    {kExitSpoolerDisabled, u"the Print Spooler is disabled",
     u"the Print Spooler service is disabled; nothing was changed",
     u"`sc config spooler start= auto` and `sc start spooler`, or undo the baseline that disabled it"},
    {kExitSpoolerNotRunning, u"the Print Spooler does not run and could not be started",
     u"the Print Spooler was stopped and did not run within 30 s of being started",
     u"see the System event log for why it stops"},
    {kExitProgramFolderUnsafe, u"run elevated from a folder others can change",
     u"`PortSetupCli.exe` itself runs elevated from a folder others can change; nothing was changed",
     u"install it with the MSI, or run it from a folder only administrators can change"},
    {kExitTimedOut, u"a command, or test-print's page, did not end in time",
     u"a printer setup command did not end within `--timeout`; it was left running, and is named (`test-print`: the page still queued at the time limit, then deleted, or the print system did not answer; `set-default`: the print system did not answer; `install`, `repair`, `remove`: no step for the commands' time limit and a minute, a call into the print system that never returned)",
     u"often a driver signature question nobody sees: run `doctor`"},
    {kExitFailed, u"the printer setup tool ran and the print system did not end as asked",
     u"the printer setup tool ran and the print system did not end as asked, or for USB the driver store tool (pnputil) failed, naming its code; stderr and the log say what and the system's reason (`set-default`: the default could not be set)",
     u"read the log; run `doctor`"},
    {kExitNotInstalled, u"status: not installed as asked",
     u"`status`: not installed as asked (the output says what is not)",
     u"install"},
    {kExitNothingStored, u"repair: no port is stored to repair",
     u"`repair`: no port is stored to repair (`HKLM\\SOFTWARE\\PortSetup` holds no `Port`, or one that is no port)",
     u"install the MSI with `PORT`, or `install --port PORT --remember`"},
    {kExitAlreadyRunning, u"another PortSetupCli run is in progress",
     u"another `install` or `remove` is in progress on this machine",
     u"try again later"},
    {kExitPackageNotUsable, u"a package others can change could not be copied",
     u"the driver package folder can be changed by others and could not be copied to the protected machine folder",
     u"put the package where only administrators can change it"},
    {kExitPackageInvalid, u"the driver package is incomplete",
     u"the driver package is incomplete: no readable `PRT3Q42WD32.inf`, no catalog named, a catalog or file named outside the package, the catalog missing, or the model not listed",
     u"use the vendor's whole, signed package"},
    {kExitForbiddenByPolicy, u"a policy forbids third-party printer drivers",
     u"a policy forbids third-party printer drivers (Windows protected print mode)",
     u"turn the policy off for the device; turning it on later removes the printer"},
    {kExitWrongProcessor, u"the package is not for this processor",
     u"the package has no models section for this machine's processor (`NTamd64` on 64-bit Windows), or the 32-bit `PortSetupCli.exe` runs on 64-bit Windows",
     u"use the vendor's package for this processor; use the 64-bit programs (x64 MSI, win64 zip) on 64-bit Windows"},
    {kExitDriverInUse, u"remove: printers still use the driver",
     u"`remove`: printers still use the driver, named",
     u"remove them, or run `remove` again"},
    {kExitNoPrinter, u"set-default, test-print: no printer of the driver",
     u"`set-default`, `test-print`: no printer of ours is installed",
     u"install; plug in the USB printer"},
};

}  // namespace

std::span<const ExitCodeRow> ExitCodeTable() { return kRows; }

}  // namespace setup
