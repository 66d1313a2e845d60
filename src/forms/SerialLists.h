// The five serial settings lists as controls: filled with the settings'
// entries, and read back into a settings text.
#pragma once

#include "forms/Controls.h"
#include "setup/SerialSettings.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

using setup::kSerialListCount;
using setup::ListEntry;
using setup::SerialList;
using setup::SerialLists;
using SerialListControls = std::array<DropDownList*, kSerialListCount>;

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
