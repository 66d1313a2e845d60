// The two things the tool does: install the printer ("Next") and remove every
// printer of the driver, then the driver ("Delete", or the "DEL" argument).
#pragma once

#include "platform/AnsiRegistry.h"
#include "platform/Seams.h"
#include "setup/Product.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// What to install: the driver only (USB), or the driver and the product's
// printer on a COM port.
struct InstallRequest {
    bool usb = false;
    std::u16string portName;  // "COM1:" to "COM4:"
    // The driver package's folder: the program's own, or a protected copy
    // of it; empty: the program's own.
    std::u16string packageDirectory;
};

// How a workflow ended.
enum class Failure {
    None,
    StartFailed,           // a command line could not be started; the steps after it did not run
    ListingFailed,         // the printers could not be listed; nothing was started
    WaitTimedOut,          // the printer setup tool did not finish in time
    DriverStillInstalled,  // every command ended, but the driver is still there
    DriverCheckFailed,     // the installed drivers could not be listed afterwards
    PackageRefused,        // the driver package is not used (a link in it, or others can change it and it
                           // could not be copied); nothing was started
};

struct Outcome {
    Failure failure = Failure::None;
    std::u16string commandLine;  // StartFailed: the one that could not be started
    std::u16string reason;       // the system's reason, where it gave one
    std::u16string notice;       // what the user is told of a done run (a package installed from its copy)

    bool failed() const { return failure != Failure::None; }
};

inline constexpr std::uint32_t kInstallWaitMilliseconds = 3000;
// How long the removal waits, in all, for the printer setup commands it has
// started before the driver delete, and then again for the driver delete.
inline constexpr std::uint32_t kRemovalWaitMilliseconds = 60000;
inline constexpr std::u16string_view kPrintersKeyPrefix = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

// Installs (Next): starts the installation, waits the fixed time, and makes
// the printer the default if it is there by then. Storing the port settings
// is the caller's next step.
Outcome InstallPrinter(const InstallRequest& request, platform::Machine& machine, platform::Processes& processes,
                       platform::PrinterList& printers, const Product& product);

// Removes every printer of the driver, then the driver, and checks that the
// driver is gone.
Outcome RemovePrinters(platform::PrinterList& printers, platform::Processes& processes, platform::AnsiRegistry& registry,
                       const Product& product);

// What to tell the user about a failed workflow.
std::u16string FailureMessage(const Outcome& outcome, const Product& product);

}  // namespace setup
