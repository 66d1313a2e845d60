#include "forms/SerialLists.h"

#include <optional>
#include <string>

namespace forms {

std::u16string SettingEntry(std::u16string_view display, std::u16string_view code) {
    std::u16string text(display);
    text.append(100, u' ');
    text.append(code);
    return text;
}

std::u16string CodeOfEntry(std::u16string_view entryText) {
    std::u16string_view tail = entryText.size() > 10 ? entryText.substr(entryText.size() - 10) : entryText;
    while (!tail.empty() && tail.front() == u' ') tail.remove_prefix(1);
    while (!tail.empty() && tail.back() == u' ') tail.remove_suffix(1);
    return std::u16string(tail);
}

void FillSerialLists(const SerialListControls& lists) {
    for (int i = 0; i < kSerialListCount; ++i) {
        DropDownList& list = *lists[i];
        const SerialList& content = SerialLists()[i];
        SkipOnFailure([&] { list.Clear(); });
        for (const ListEntry& entry : content.entries)
            SkipOnFailure([&] { list.Add(SettingEntry(entry.display, entry.code)); });
        SkipOnFailure([&] { list.Select(content.defaultIndex); });
    }
}

std::u16string PortSettingsString(const SerialListControls& lists) {
    std::array<std::optional<std::u16string>, kSerialListCount> codes;
    for (std::size_t i = 0; i < codes.size(); ++i)
        SkipOnFailure([&] { codes[i] = CodeOfEntry(lists[i]->CurrentText()); });
    return setup::ComposePortSettings(codes);
}

}  // namespace forms
