// The exit codes of PortSetupCli: Windows' own error codes, each chosen so
// that its Windows text (as deployment systems show it) names the cause.
#pragma once

namespace setup {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNotAdministrator = 5;        // ERROR_ACCESS_DENIED
inline constexpr int kExitPageNotSent = 29;            // ERROR_WRITE_FAULT: the print system did not take a test page
inline constexpr int kExitPrintCancelled = 63;         // ERROR_PRINT_CANCELLED: a test page was deleted
inline constexpr int kExitUsage = 87;                  // ERROR_INVALID_PARAMETER
inline constexpr int kExitPackageHasLinks = 448;       // ERROR_UNTRUSTED_MOUNT_POINT
inline constexpr int kExitPackageUnsigned = 577;       // ERROR_INVALID_IMAGE_HASH
inline constexpr int kExitSpoolerDisabled = 1058;      // ERROR_SERVICE_DISABLED
inline constexpr int kExitSpoolerNotRunning = 1062;    // ERROR_SERVICE_NOT_ACTIVE
inline constexpr int kExitDeviceNotFound = 1167;       // ERROR_DEVICE_NOT_CONNECTED: --device matches no present device
inline constexpr int kExitDeviceInstallDenied = 1260;  // ERROR_ACCESS_DISABLED_BY_POLICY: a device installation policy
inline constexpr int kExitProgramFolderUnsafe = 1336;  // ERROR_INVALID_ACL
inline constexpr int kExitTimedOut = 1460;             // ERROR_TIMEOUT
// The printer setup tool or the driver store's tool ran, and the print
// system did not end as asked (or could not be asked).
inline constexpr int kExitFailed = 1603;               // ERROR_INSTALL_FAILURE
inline constexpr int kExitNotInstalled = 1605;         // ERROR_UNKNOWN_PRODUCT: status, not installed as asked
inline constexpr int kExitNothingStored = 1614;        // ERROR_PRODUCT_UNINSTALLED: repair, no choice stored
inline constexpr int kExitAlreadyRunning = 1618;       // ERROR_INSTALL_ALREADY_RUNNING: try again later
inline constexpr int kExitPackageNotUsable = 1619;     // ERROR_INSTALL_PACKAGE_OPEN_FAILED
inline constexpr int kExitPackageInvalid = 1620;       // ERROR_INSTALL_PACKAGE_INVALID
inline constexpr int kExitForbiddenByPolicy = 1625;    // ERROR_INSTALL_PACKAGE_REJECTED
inline constexpr int kExitWrongProcessor = 1633;       // ERROR_INSTALL_PLATFORM_UNSUPPORTED
inline constexpr int kExitPackageInUse = 2404;         // ERROR_DEVICE_IN_USE: a device keeps the driver package
inline constexpr int kExitDriverInUse = 3001;          // ERROR_PRINTER_DRIVER_IN_USE: printers keep the driver
inline constexpr int kExitRestartNeeded = 3010;        // ERROR_SUCCESS_REBOOT_REQUIRED: done, a restart is needed
inline constexpr int kExitNoPrinter = 3012;            // ERROR_PRINTER_NOT_FOUND: no printer of ours
inline constexpr int kExitDeviceAmbiguous = 15250;     // ERROR_AMBIGUOUS_SYSTEM_DEVICE: --device matches several

// Whether `exitCode` says the job was done (perhaps with a restart to follow).
inline constexpr bool Succeeded(int exitCode) { return exitCode == kExitDone || exitCode == kExitRestartNeeded; }

}  // namespace setup
