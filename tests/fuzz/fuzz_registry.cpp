// Registry string values over the in-memory registry in the ANSI code pages
// 1252, 932 and 936 (the first byte picks one): a value the code page holds
// and the read buffer fits reads back whole; one it cannot hold is refused and
// changes nothing; the byte counts keep their invariants; every key opened is
// closed again.
#include "FuzzText.h"
#include "modules/modRegedit.h"
#include "support/MemoryRegistry.h"

#include <memory>

namespace {

testing_support::MemoryRegistry& RegistryFor(std::uint8_t pick) {
    static const char* pages[] = {"CP1252", "CP932", "CP936"};
    static std::unique_ptr<testing_support::MemoryRegistry> registries[3];
    auto& registry = registries[pick % 3];
    if (!registry) registry = std::make_unique<testing_support::MemoryRegistry>(pages[pick % 3]);
    return *registry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    auto& registry = RegistryFor(data[0]);
    // Values stop at their first NUL, as REG_SZ text does.
    std::u16string value = fuzz::Utf16(data + 1, size - 1);
    value = value.substr(0, value.find(u'\0'));
    if (value.size() > 1200) value.resize(1200);
    const platform::RegHandle hklm = platform::kHkeyLocalMachine;
    const std::u16string key = u"SOFTWARE\\Fuzz";

    // Byte counting: per character, and a prefix is found by its own length.
    const long length = modRegedit::AnsiByteLength(registry, value);
    if (length < static_cast<long>(value.size()) || length > 2 * static_cast<long>(value.size()))
        fuzz::Broken("one or two bytes a character");
    if (!value.empty()) {
        const std::u16string head = value.substr(0, value.size() / 2 + 1);
        const std::u16string left = modRegedit::LeftAnsiBytes(registry, value, modRegedit::AnsiByteLength(registry, head));
        if (left != head) fuzz::Broken("LeftAnsiBytes of a prefix's length is that prefix");
    }
    if (modRegedit::LeftAnsiBytes(registry, value, length + 1) != value) fuzz::Broken("an unreachable count gives the whole text");

    std::u16string before;
    modRegedit::RegGetString(registry, hklm, key, u"Value", before);
    const long written = modRegedit::RegSetString(registry, hklm, key, u"Value", value);
    std::u16string read = u"unset";
    const long status = modRegedit::RegGetString(registry, hklm, key, u"Value", read);
    const bool holdable = registry.ToAnsi(value).has_value();
    if (!holdable) {
        if (written != platform::kErrorNoUnicodeTranslation) fuzz::Broken("a text the code page lacks is refused");
        if (read != before) fuzz::Broken("a refused write changes nothing");
    } else if (length + 1 <= 1024) {
        if (written != 0 || status != 0 || read != value) fuzz::Broken("a value that fits reads back whole");
    } else if (status != platform::kErrorMoreData || !read.empty()) {
        fuzz::Broken("a value too long for the buffer reads as empty with ERROR_MORE_DATA");
    }
    if (registry.OpenHandleCount() != 0) fuzz::Broken("every key is closed");
    return 0;
}
