// The five serial settings lists: their entries, defaults and the settings
// text Windows keeps for a COM port, such as "9600,n,8,1,p".
#pragma once

#include "forms/Controls.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

struct ListEntry {
    std::u16string display;
    std::u16string code;
};

struct SerialList {
    std::u16string_view label;
    std::vector<ListEntry> entries;
    int defaultIndex;
};

inline constexpr int kSerialListCount = 5;
using SerialListControls = std::array<DropDownList*, kSerialListCount>;

// Bits per second, data bits, parity, stop bits, flow control, in screen order.
const std::array<SerialList, kSerialListCount>& SerialLists();

// An entry's full text: the display text, 100 spaces, then the code, so that
// the code stays out of sight at the far right.
std::u16string SettingEntry(std::u16string_view display, std::u16string_view code);

// The code of a list entry's text: its last 10 characters without blanks.
std::u16string CodeOfEntry(std::u16string_view entryText);

// Clears and fills the lists and selects their defaults; each step that fails
// is skipped.
void FillSerialLists(const SerialListControls& lists);

// Speed, parity, data bits, stop bits, then the flow-control code. A list that
// cannot be read drops its field together with its comma.
std::u16string PortSettingsString(const SerialListControls& lists);

}  // namespace forms
