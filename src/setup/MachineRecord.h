// What the machine keeps of PortSetup, in one key, HKLM\SOFTWARE\PortSetup:
// the stored choice (Port, Settings), which install --remember writes, the
// MSI passes back on every upgrade or repair, repair reinstalls and status
// --stored checks, and remove clears once all is removed; and the last
// verdict of an install, repair or remove (LastExitCode as REG_DWORD,
// LastResult, LastRunTime in ISO 8601 with its offset, LastCommand), where
// inventory tools and deployment wrappers read it without the log. The MSI
// writes Package, its version, there too.
#pragma once

#include "platform/AnsiRegistry.h"
#include "setup/Port.h"

#include <optional>
#include <string>
#include <string_view>

namespace setup {

inline constexpr std::u16string_view kMachineRecordKey = u"SOFTWARE\\PortSetup";
inline constexpr std::u16string_view kStoredPortValue = u"Port";
inline constexpr std::u16string_view kStoredSettingsValue = u"Settings";
// A device pattern (install --port auto --device ... --remember), stored in
// place of Port: the printer's port is the device's, whatever its number.
inline constexpr std::u16string_view kStoredDeviceValue = u"Device";

// The longest LastResult kept: a reason long enough to name the cause and
// the fix.
inline constexpr std::size_t kLastResultLimit = 2000;

struct LastVerdict {
    std::u16string commandLine;
    int exitCode = 0;
    std::u16string message;  // the verdict's reason; empty when done
    std::u16string time;
};

// "done", "done, a restart is needed: ...", or "failed: ...".
std::u16string LastResultText(int exitCode, std::u16string_view message);
// Writes the four values; the first status that is not success, else 0.
// A character the ANSI code page cannot hold is written as "?": the text is
// for reading, and a name in it must not cost the whole record.
long RecordLastVerdict(platform::AnsiRegistry& registry, const LastVerdict& verdict);

// The stored choice as the registry holds it: each value's text, or nothing
// where the value is missing. Whether it is valid is the reader's check.
struct StoredChoice {
    std::optional<std::u16string> port;
    std::optional<std::u16string> settings;
    std::optional<std::u16string> device;
};
StoredChoice ReadStoredChoice(platform::AnsiRegistry& registry);
// Stores the port ("COM3", "USB") and, for a COM port, its settings; or,
// with `device`, the device pattern in place of the port (the Port value
// goes: the number is the device's to change). The first status that is
// not success, else 0.
long StoreChoice(platform::AnsiRegistry& registry, const Port& port, std::u16string_view settings,
                 const std::optional<std::u16string>& device = std::nullopt);
// Deletes the stored values; a line for each one cleared, or that could not
// be, through `said` ("the stored choice's Port").
template <typename Said>
void ForgetChoice(platform::AnsiRegistry& registry, Said&& said);
long ForgetStoredValue(platform::AnsiRegistry& registry, std::u16string_view name);

template <typename Said>
void ForgetChoice(platform::AnsiRegistry& registry, Said&& said) {
    for (const std::u16string_view name : {kStoredPortValue, kStoredSettingsValue, kStoredDeviceValue})
        said(name, ForgetStoredValue(registry, name));
}

}  // namespace setup
