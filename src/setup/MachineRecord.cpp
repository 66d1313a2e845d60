#include "setup/MachineRecord.h"

#include "modules/modRegedit.h"
#include "setup/ExitCodes.h"

namespace setup {

namespace {

std::u16string Readable(platform::AnsiRegistry& registry, std::u16string_view text, std::size_t limit) {
    std::u16string out;
    for (char16_t c : text.substr(0, limit)) {
        // Line breaks become blanks: one line, as inventory tools show it. A
        // lone surrogate or a character the code page lacks is shown as "?".
        if (c == u'\r' || c == u'\n' || c == u'\t') c = u' ';
        const bool holds = c >= 0x20 && registry.ToAnsi(std::u16string_view(&c, 1)).has_value();
        out += holds ? c : u'?';
    }
    return out;
}

}  // namespace

std::u16string LastResultText(int exitCode, std::u16string_view message) {
    if (!Succeeded(exitCode)) return u"failed: " + std::u16string(message);
    if (exitCode == kExitRestartNeeded) return u"done, a restart is needed: " + std::u16string(message);
    return u"done";
}

long RecordLastVerdict(platform::AnsiRegistry& registry, const LastVerdict& verdict) {
    const std::u16string key(kMachineRecordKey);
    const auto root = platform::kHkeyLocalMachine;
    long status = modRegedit::RegSetDword(registry, root, key, u"LastExitCode", static_cast<std::uint32_t>(verdict.exitCode));
    const std::pair<std::u16string_view, std::u16string> texts[] = {
        {u"LastResult", Readable(registry, LastResultText(verdict.exitCode, verdict.message), kLastResultLimit)},
        {u"LastRunTime", Readable(registry, verdict.time, 64)},
        {u"LastCommand", Readable(registry, verdict.commandLine, kLastResultLimit)},
    };
    for (const auto& [name, text] : texts) {
        const long written = modRegedit::RegSetString(registry, root, key, std::u16string(name), text);
        if (status == platform::kErrorSuccess) status = written;
    }
    return status;
}

StoredChoice ReadStoredChoice(platform::AnsiRegistry& registry) {
    StoredChoice choice;
    const std::u16string key(kMachineRecordKey);
    for (auto [name, value] : {std::pair{kStoredPortValue, &choice.port}, std::pair{kStoredSettingsValue, &choice.settings},
                               std::pair{kStoredDeviceValue, &choice.device}}) {
        std::u16string text;
        if (modRegedit::RegGetString(registry, platform::kHkeyLocalMachine, key, std::u16string(name), text) ==
                platform::kErrorSuccess &&
            !text.empty())
            *value = std::move(text);
    }
    return choice;
}

long StoreChoice(platform::AnsiRegistry& registry, const Port& port, std::u16string_view settings,
                 const std::optional<std::u16string>& device) {
    const std::u16string key(kMachineRecordKey);
    const auto replaced = [&](long status) { return status == platform::kErrorFileNotFound ? platform::kErrorSuccess : status; };
    long status = device ? modRegedit::RegSetString(registry, platform::kHkeyLocalMachine, key,
                                                    std::u16string(kStoredDeviceValue), *device)
                         : modRegedit::RegSetString(registry, platform::kHkeyLocalMachine, key,
                                                    std::u16string(kStoredPortValue), port.Name());
    // The other way of naming the port goes: one choice is stored.
    if (status == platform::kErrorSuccess)
        status = replaced(ForgetStoredValue(registry, device ? kStoredPortValue : kStoredDeviceValue));
    if (status == platform::kErrorSuccess && !port.IsUsb())
        status = modRegedit::RegSetString(registry, platform::kHkeyLocalMachine, key,
                                          std::u16string(kStoredSettingsValue), std::u16string(settings));
    return status;
}

long ForgetStoredValue(platform::AnsiRegistry& registry, std::u16string_view name) {
    return modRegedit::RegDeleteValue(registry, platform::kHkeyLocalMachine, std::u16string(kMachineRecordKey),
                                      std::u16string(name));
}

}  // namespace setup
