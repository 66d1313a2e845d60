// The one plan of the checks before an installation, which `install` acts on
// and `doctor` reports: the driver package's folder and whom it trusts, the
// Print Spooler, the printer driver policies, the package's contents and
// processor, its signature (as strictly as the folder asks), and what is
// worth a warning (a pending restart, a COM port held open). Each finding
// says what was found and how to fix it; a refusal carries its own exit
// code, after Windows' own error codes, so that a deployment system can sort
// failures by cause. Install stops at the first refusal; doctor lists every
// finding and ends with the first refusal's code: the two cannot disagree.
#pragma once

#include "platform/Seams.h"
#include "setup/ExitCodes.h"
#include "setup/Inf.h"
#include "setup/PackageTrust.h"
#include "setup/Product.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {


// How long install waits for a Print Spooler it started.
inline constexpr std::uint32_t kSpoolerStartMilliseconds = 30000;

struct Finding {
    enum class Result { Passed, Warning, Refused };
    std::u16string check;  // "print spooler", "driver policy", "driver package", "restart", "COM port"
    Result result = Result::Passed;
    std::u16string detail;  // what was found
    std::u16string fix;     // what to change; empty when nothing is to be done
    int exitCode = 0;       // a refusal's
};

struct PreCheckRequest {
    std::u16string packageDirectory;
    std::u16string port;        // "COM3"; empty for USB
    bool startSpooler = false;  // install starts a stopped Spooler; doctor only looks
    bool all = false;           // doctor: every check, also after a refusal
    bool usb = false;           // a USB printer: its driver goes through Plug and Play
    PackageCopier* copier = nullptr;  // install's; doctor's is none
};

struct InstallPlan {
    std::vector<Finding> findings;
    // What the printer setup tool is given: the package, or its protected copy.
    std::u16string packageDirectory;
    bool packageCopied = false;
};

// The checks, in the order install acts on them; without `all` they stop at
// the first refusal, since what follows it would not run either. A package
// others can change is refused unless its catalog is signed by a trusted
// publisher and lists the INF and every file it names.
InstallPlan CheckBeforeInstall(const PreCheckRequest& request, const platform::Seams& seams, const Product& product);

// The Print Spooler: it runs, or is stopped and (with `start`) started;
// disabled (1058), missing or not started in time (1062) is a refusal.
Finding SpoolerFinding(bool start, const platform::Seams& seams);

// The first refusal among the findings, or nothing.
const Finding* FirstRefusal(const std::vector<Finding>& findings);

}  // namespace setup
