#include "setup/DefaultPrinter.h"

#include "setup/CommandLines.h"
#include "setup/CommandRuns.h"
#include "setup/Status.h"
#include "setup/Text.h"

#include <optional>

namespace setup {

namespace {

constexpr std::uint32_t kKeyRead = 0x20019;

// The running user's LegacyDefaultPrinterMode, when it is a DWORD.
std::optional<std::uint32_t> LegacyMode(platform::AnsiRegistry& registry) {
    std::optional<std::uint32_t> mode;
    auto subKey = registry.ToAnsi(kUserWindowsKey);
    auto name = registry.ToAnsi(kLegacyDefaultPrinterMode);
    platform::RegHandle key = 0;
    if (!subKey || !name ||
        registry.RegOpenKeyExA(platform::kHkeyCurrentUser, *subKey, 0, kKeyRead, key) != platform::kErrorSuccess)
        return mode;
    std::uint32_t type = 0;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    if (registry.RegQueryValueExA(key, *name, type, reinterpret_cast<std::uint8_t*>(&value), size) ==
            platform::kErrorSuccess &&
        type == platform::kRegDword && size == sizeof value)
        mode = value;
    registry.RegCloseKey(key);
    return mode;
}

long SetLegacyMode(platform::AnsiRegistry& registry) {
    auto subKey = registry.ToAnsi(kUserWindowsKey);
    auto name = registry.ToAnsi(kLegacyDefaultPrinterMode);
    if (!subKey || !name) return platform::kErrorNoUnicodeTranslation;
    platform::RegHandle key = 0;
    long status = registry.RegCreateKeyA(platform::kHkeyCurrentUser, *subKey, key);
    if (status != platform::kErrorSuccess) return status;
    const std::uint32_t one = 1;
    status = registry.RegSetValueExA(key, *name, platform::kRegDword, reinterpret_cast<const std::uint8_t*>(&one),
                                     sizeof one);
    registry.RegCloseKey(key);
    return status;
}

}  // namespace

bool WindowsManagesDefault(platform::AnsiRegistry& registry) { return LegacyMode(registry) != 1u; }

Verdict SetDefaultForUser(std::uint32_t timeoutMilliseconds, Services s) {
    const std::uint64_t startedAt = s.machine.Milliseconds();
    const std::u16string account = s.machine.RunningAccountName();
    // Local printers only: a listing of connections would ask every print server.
    const OurPrinterLookup ours = FindOurPrinter(s.printers, s.product, &s.machine);
    if (!ours.asked)
        return Failed(u"The print system could not be asked whether the printer " + Quoted(s.product.printerName) +
                      u" is installed: " + ours.reason);
    if (!ours.printer) return {kExitNoPrinter, NoPrinterOfOurs(ours, s.product) + u"; nothing was changed."};
    const std::u16string name = ours.printer->name;
    s.journal.Step(u"found: the printer " + Quoted(name) + u" on " + ours.printer->port +
                   (ours.note.empty() ? u"" : u" (" + ours.note + u")"));

    // First, so that Windows does not replace the default as soon as it is set.
    if (WindowsManagesDefault(s.registry)) {
        const long status = SetLegacyMode(s.registry);
        if (status != platform::kErrorSuccess)
            return Failed(u"Windows could not be told to leave the default printer of " + account +
                          u" alone (LegacyDefaultPrinterMode, status " + Number(static_cast<std::uint64_t>(status)) +
                          u"); the default printer was not changed.");
        s.journal.Step(u"set: Windows no longer manages the default printer of " + account +
                       u" (LegacyDefaultPrinterMode = 1)");
    } else {
        s.journal.Step(u"checked: Windows does not manage the default printer of " + account);
    }

    if (s.printers.DefaultPrinter() == name) {
        s.journal.Step(u"checked: " + Quoted(name) + u" is already the default printer of " + account);
        return {};
    }
    const std::uint64_t spent = s.machine.Milliseconds() - startedAt;
    const std::uint32_t left =
        spent < timeoutMilliseconds ? static_cast<std::uint32_t>(timeoutMilliseconds - spent) : 1;
    if (auto failed = FailureOfCommand(s, left, SetDefaultPrinterCommandLine(name)))
        return *failed;
    const std::u16string current = s.printers.DefaultPrinter();
    if (current != name)
        return Failed(u"The printer " + Quoted(name) + u" could not be made the default printer of " + account +
                      u"; it is " + (current.empty() ? u"none" : Quoted(current)) + u".");
    s.journal.Step(u"set: " + Quoted(name) + u" is the default printer of " + account);
    return {};
}

}  // namespace setup
