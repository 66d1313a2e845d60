// What `install` checks before it changes anything, and what `doctor`
// reports: the Print Spooler, the printer driver policies, the driver
// package, and what is worth a warning. Each finding says what was found and
// how to fix it; a refusal carries its own exit code, after Windows' own
// error codes, so that a deployment system can sort failures by cause.
#pragma once

#include "platform/Seams.h"
#include "setup/ExitCodes.h"
#include "setup/Inf.h"
#include "setup/Product.h"

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
    // A package others could change (installed from its copy): its catalog
    // must be signed by a trusted publisher and list the INF and every file
    // it names, or it is refused.
    bool othersCouldChange = false;
};

// The checks, in order; install's stop at the first refusal, since what
// follows it would not run either.
std::vector<Finding> CheckBeforeInstall(const PreCheckRequest& request, const platform::Seams& seams,
                                        const Product& product);

// The Print Spooler: it runs, or is stopped and (with `start`) started;
// disabled (1058), missing or not started in time (1062) is a refusal.
Finding SpoolerFinding(bool start, const platform::Seams& seams);

// The first refusal among the findings, or nothing.
const Finding* FirstRefusal(const std::vector<Finding>& findings);

}  // namespace setup
