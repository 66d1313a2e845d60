// The running user's default printer: made ours, and kept from Windows'
// own management of it.
#pragma once

#include "platform/AnsiRegistry.h"
#include "setup/Services.h"

#include <cstdint>
#include <string_view>

namespace setup {

inline constexpr std::uint32_t kDefaultSetTimeoutMilliseconds = 30000;

// The running user's printer settings: "Device" names the default printer;
// LegacyDefaultPrinterMode 1 (REG_DWORD) keeps Windows 10 and 11 from
// replacing it with the printer last used.
inline constexpr std::u16string_view kUserWindowsKey = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr std::u16string_view kLegacyDefaultPrinterMode = u"LegacyDefaultPrinterMode";

// Makes our printer the running user's default printer, and keeps Windows
// from managing it; needs no administrator rights and writes only the
// user's own keys. Nothing is changed when the printer is not installed.
// The whole run stays within `timeoutMilliseconds`; a command that does not
// end in that time fails the run.
Verdict SetDefaultForUser(std::uint32_t timeoutMilliseconds, Services services);

// Whether Windows manages the running user's default printer: its
// LegacyDefaultPrinterMode is not 1.
bool WindowsManagesDefault(platform::AnsiRegistry& registry);

}  // namespace setup
