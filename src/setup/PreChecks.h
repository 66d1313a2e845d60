// What `install` checks before it changes anything, and what `doctor`
// reports: the Print Spooler, the printer driver policies, the driver
// package, and what is worth a warning. Each finding says what was found and
// how to fix it; a refusal carries its own exit code, after Windows' own
// error codes, so that a deployment system can sort failures by cause.
#pragma once

#include "platform/Seams.h"

#include <string>
#include <string_view>
#include <vector>

namespace setup {

inline constexpr int kExitSpoolerDisabled = 1058;    // ERROR_SERVICE_DISABLED
inline constexpr int kExitSpoolerNotRunning = 1062;  // ERROR_SERVICE_NOT_ACTIVE
inline constexpr int kExitPackageNotUsable = 1619;   // ERROR_INSTALL_PACKAGE_OPEN_FAILED
inline constexpr int kExitPackageInvalid = 1620;     // ERROR_INSTALL_PACKAGE_INVALID
inline constexpr int kExitForbiddenByPolicy = 1625;  // ERROR_INSTALL_PACKAGE_REJECTED
inline constexpr int kExitWrongProcessor = 1633;     // ERROR_INSTALL_PLATFORM_UNSUPPORTED
inline constexpr int kExitPackageHasLinks = 448;     // ERROR_UNTRUSTED_MOUNT_POINT
inline constexpr int kExitPackageUnsigned = 577;     // ERROR_INVALID_IMAGE_HASH
inline constexpr int kExitProgramFolderUnsafe = 1336;  // ERROR_INVALID_ACL

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
std::vector<Finding> CheckBeforeInstall(const PreCheckRequest& request, const platform::Seams& seams);

// The first refusal among the findings, or nothing.
const Finding* FirstRefusal(const std::vector<Finding>& findings);

// What an INF file says that the checks need: its catalog, its version, and
// whether its models section for `processor` ("amd64", "x86", ...) lists
// `model`, with the decorations it has.
struct InfFacts {
    std::u16string catalog;    // CatalogFile (for the processor, else plain)
    std::u16string driverVer;  // DriverVer: "06/21/2024,1.2.3.4"
    bool hasProcessorSection = false;
    bool listsModel = false;
    std::vector<std::u16string> decorations;  // of its models sections: "NTamd64", "NTx86"
    // The files it names for the processor ([SourceDisksFiles] and its
    // decorated form), each with the folder its disk names: "amd64\kaldo.dll".
    std::vector<std::u16string> files;
};
// Whether an INF's CatalogFile is a plain file name of the package's own
// folder: no folder, drive or ".." in it.
bool PlainFileName(std::u16string_view name);
// `bytes` as the file holds them: UTF-16 with its byte order mark, UTF-8,
// or ANSI (whose ASCII part is all the checks read).
InfFacts ReadInf(std::string_view bytes, std::u16string_view processor, std::u16string_view model);

}  // namespace setup
