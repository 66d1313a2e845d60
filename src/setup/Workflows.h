// The two things the tool does: install the printer ("Next") and remove every
// printer of the driver, then the driver ("Delete", or the "DEL" argument).
#pragma once

#include "platform/AnsiRegistry.h"
#include "platform/Platform.h"

#include <string>

namespace forms {
class Form1;
}

namespace setup {

// How a workflow ended. On success the window has been unloaded; on failure a
// command line could not be started and the steps after it did not run.
struct Outcome {
    bool failed = false;
    std::u16string commandLine;  // the one that could not be started
    std::u16string reason;       // the system's reason
};

inline constexpr std::uint32_t kInstallWaitMilliseconds = 3000;
inline constexpr std::u16string_view kPrintersKeyPrefix = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

Outcome InstallPrinter(forms::Form1& form, platform::Platform& platform);
Outcome RemovePrinters(forms::Form1& form, platform::Platform& platform, platform::AnsiRegistry& registry);

}  // namespace setup
