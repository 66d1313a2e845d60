// The exit codes of PortSetupCli: Windows' own error codes, each chosen so
// that its Windows text (as deployment systems show it) names the cause.
#pragma once

namespace setup {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotAdministrator = 5;        // ERROR_ACCESS_DENIED
inline constexpr int kExitPackageHasLinks = 448;       // ERROR_UNTRUSTED_MOUNT_POINT
inline constexpr int kExitPackageUnsigned = 577;       // ERROR_INVALID_IMAGE_HASH
inline constexpr int kExitSpoolerDisabled = 1058;      // ERROR_SERVICE_DISABLED
inline constexpr int kExitSpoolerNotRunning = 1062;    // ERROR_SERVICE_NOT_ACTIVE
inline constexpr int kExitProgramFolderUnsafe = 1336;  // ERROR_INVALID_ACL
inline constexpr int kExitTimedOut = 1460;             // ERROR_TIMEOUT
inline constexpr int kExitAlreadyRunning = 1618;       // ERROR_INSTALL_ALREADY_RUNNING: try again later
inline constexpr int kExitPackageNotUsable = 1619;     // ERROR_INSTALL_PACKAGE_OPEN_FAILED
inline constexpr int kExitPackageInvalid = 1620;       // ERROR_INSTALL_PACKAGE_INVALID
inline constexpr int kExitForbiddenByPolicy = 1625;    // ERROR_INSTALL_PACKAGE_REJECTED
inline constexpr int kExitWrongProcessor = 1633;       // ERROR_INSTALL_PLATFORM_UNSUPPORTED

}  // namespace setup
