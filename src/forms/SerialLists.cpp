#include "forms/SerialLists.h"

#include <string>

namespace forms {

namespace {

std::array<SerialList, kSerialListCount> BuildLists() {
    std::vector<ListEntry> dataBits;
    for (int bits = 4; bits <= 8; ++bits) {
        const std::u16string text(1, static_cast<char16_t>(u'0' + bits));
        dataBits.push_back({text, text});
    }
    return {{
        {u"Bits per second : ",
         {{u"2400", u"2400"}, {u"4800", u"4800"}, {u"9600", u"9600"}, {u"19200", u"19200"},
          {u"38400", u"38400"}, {u"57600", u"57600"}, {u"115200", u"115200"}},
         2},
        {u"Data bits : ", std::move(dataBits), 4},
        {u"Parity : ", {{u"Even", u"e"}, {u"Odd", u"o"}, {u"None", u"n"}, {u"Mark", u"m"}, {u"Space", u"s"}}, 2},
        {u"Stop bits : ", {{u"1", u"1"}, {u"1.5", u"1.5"}, {u"2", u"2"}}, 0},
        {u"Flow control : ", {{u"Xon/Xoff", u",x"}, {u"Hardware", u",p"}, {u"None", u""}}, 1},
    }};
}

}  // namespace

const std::array<SerialList, kSerialListCount>& SerialLists() {
    static const auto lists = BuildLists();
    return lists;
}

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
    std::u16string settings;
    SkipOnFailure([&] { settings += CodeOfEntry(lists[0]->CurrentText()); });
    SkipOnFailure([&] { settings += u"," + CodeOfEntry(lists[2]->CurrentText()); });
    SkipOnFailure([&] { settings += u"," + CodeOfEntry(lists[1]->CurrentText()); });
    SkipOnFailure([&] { settings += u"," + CodeOfEntry(lists[3]->CurrentText()); });
    SkipOnFailure([&] { settings += CodeOfEntry(lists[4]->CurrentText()); });
    return settings;
}

}  // namespace forms
