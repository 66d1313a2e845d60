#include "setup/SerialSettings.h"

#include "modules/modRegedit.h"

#include <algorithm>

namespace setup {

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

// The codes of one list, as the settings text writes them.
std::vector<std::u16string> CodesOf(int list) {
    std::vector<std::u16string> codes;
    for (const ListEntry& entry : SerialLists()[static_cast<std::size_t>(list)].entries) {
        std::u16string code = entry.code;
        if (!code.empty() && code.front() == u',') code.erase(0, 1);  // flow control carries its own comma
        codes.push_back(code);
    }
    return codes;
}

std::u16string Listed(const std::vector<std::u16string>& items) {
    std::u16string text;
    for (const auto& item : items) text += (text.empty() ? u"" : u", ") + item;
    return text;
}

}  // namespace

const std::array<SerialList, kSerialListCount>& SerialLists() {
    static const auto lists = BuildLists();
    return lists;
}

std::u16string ComposePortSettings(const std::array<std::optional<std::u16string>, kSerialListCount>& codes) {
    std::u16string settings;
    if (codes[0]) settings += *codes[0];
    for (int list : {2, 1, 3})
        if (codes[static_cast<std::size_t>(list)]) settings += u"," + *codes[static_cast<std::size_t>(list)];
    if (codes[4]) settings += *codes[4];
    return settings;
}

std::u16string DefaultPortSettings() {
    std::array<std::optional<std::u16string>, kSerialListCount> codes;
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = SerialLists()[i].entries[static_cast<std::size_t>(SerialLists()[i].defaultIndex)].code;
    return ComposePortSettings(codes);
}

namespace {

// The settings text's fields: speed, parity, data bits, stop bits[, flow control].
std::vector<std::u16string> FieldsOf(std::u16string_view settings) {
    std::vector<std::u16string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = settings.find(u',', start);
        fields.emplace_back(settings.substr(start, comma == std::u16string_view::npos ? comma : comma - start));
        if (comma == std::u16string_view::npos) break;
        start = comma + 1;
    }
    return fields;
}

}  // namespace

bool ValidPortSettings(std::u16string_view settings, std::u16string& error) {
    const std::vector<std::u16string> fields = FieldsOf(settings);
    const std::u16string shape = u"speed,parity,data bits,stop bits[,flow control], such as " + DefaultPortSettings();
    if (fields.size() < 4 || fields.size() > 5) {
        error = u"\"" + std::u16string(settings) + u"\" does not have the form " + shape;
        return false;
    }
    struct Field {
        int list;
        std::u16string_view what;
    };
    const Field order[] = {{0, u"speed"}, {2, u"parity"}, {1, u"data bits"}, {3, u"stop bits"}, {4, u"flow control"}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::vector<std::u16string> codes = CodesOf(order[i].list);
        codes.erase(std::remove(codes.begin(), codes.end(), u""), codes.end());  // "None" is a missing field
        if (std::find(codes.begin(), codes.end(), fields[i]) != codes.end()) continue;
        error = u"\"" + std::u16string(settings) + u"\": the " + std::u16string(order[i].what) + u" \"" + fields[i] +
                u"\" is not one of " + Listed(codes) + (order[i].list == 4 ? u" (leave it out for none)" : u"");
        return false;
    }
    return true;
}

std::optional<std::u16string> UartCannotApply(std::u16string_view settings) {
    const std::vector<std::u16string> fields = FieldsOf(settings);
    if (fields.size() < 4 || fields[2].size() != 1 || fields[2][0] < u'0' || fields[2][0] > u'9') return std::nullopt;
    const int data = fields[2][0] - u'0';
    const std::u16string& stop = fields[3];
    std::u16string rule;
    if (data < 5) rule = u"fewer than 5 data bits";
    else if (data == 5 && stop == u"2") rule = u"5 data bits with 2 stop bits";
    else if (data >= 6 && stop == u"1.5") rule = std::u16string(1, fields[2][0]) + u" data bits with 1.5 stop bits";
    if (rule.empty()) return std::nullopt;
    return u"the line settings " + std::u16string(settings) + u" have " + rule +
           u", which Windows' standard serial port cannot apply: every print job would fail when the port is opened "
           u"(a USB adapter's driver may differ)";
}

long StorePortSettings(platform::AnsiRegistry& registry, std::u16string_view portName, std::u16string_view settings) {
    return modRegedit::RegSetString(registry, platform::kHkeyLocalMachine, std::u16string(kPortsKey),
                                    std::u16string(portName), std::u16string(settings));
}

long ReadPortSettings(platform::AnsiRegistry& registry, std::u16string_view portName, std::u16string& settings) {
    return modRegedit::RegGetString(registry, platform::kHkeyLocalMachine, std::u16string(kPortsKey),
                                    std::u16string(portName), settings);
}

}  // namespace setup
