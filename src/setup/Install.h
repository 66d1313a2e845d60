// The unattended installation: the driver (and on a COM port the printer),
// each step checked with the print system, the printer made the running
// user's default, the port's settings and, when asked, the choice stored.
#pragma once

#include "setup/Port.h"
#include "setup/Services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

inline constexpr std::uint32_t kDefaultCommandTimeoutMilliseconds = 300000;

struct UnattendedInstallRequest {
    Port port = Port::Usb();
    std::u16string portSettings;      // stored as a COM port's Ports value
    std::u16string packageDirectory;  // the folder of the INF file
    bool packageCopied = false;       // a protected copy of a package others could change
    std::uint32_t timeoutMilliseconds = kDefaultCommandTimeoutMilliseconds;  // for each command
    // Store the port ("COM3", "USB") and, for a COM port, the settings as the
    // package's choice once the installation is done.
    bool rememberChoice = false;
    // The port was found by this device pattern: it is stored in place of
    // the port, which follows the device.
    std::optional<std::u16string> device;
};

// Installs the driver (and for a COM port the printer), makes the printer
// the running user's default, stores the port's settings and, when asked,
// the choice; each step checked, and left alone when it is already as asked.
Verdict InstallUnattended(const UnattendedInstallRequest& request, Services services);

}  // namespace setup
