// Registry string values: open or create a key, write and read REG_SZ values,
// with lengths counted in bytes of the system's ANSI code page.
// Every function returns the Windows status code (0 is success). A key path,
// value name or value that the code page cannot hold exactly is refused with
// ERROR_NO_UNICODE_TRANSLATION before any key is opened.
#pragma once

#include "platform/AnsiRegistry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace modRegedit {

using platform::AnsiRegistry;
using platform::RegHandle;

// Opens `subKey` under `root` with full access, creating it (and its parents)
// when it is missing. On failure `key` is 0.
long RegOpenOrCreateKey(AnsiRegistry& registry, RegHandle root, std::u16string subKey,
                        RegHandle& key);

// Writes `value` as the REG_SZ value `valueName`, creating the key if needed.
long RegSetString(AnsiRegistry& registry, RegHandle root, std::u16string subKey,
                  std::u16string valueName, std::u16string value);

// Writes `value` as the REG_DWORD value `valueName`, creating the key if needed.
long RegSetDword(AnsiRegistry& registry, RegHandle root, std::u16string subKey, std::u16string valueName,
                 std::uint32_t value);

// Deletes the value `valueName`; ERROR_FILE_NOT_FOUND when it or its key
// is missing.
long RegDeleteValue(AnsiRegistry& registry, RegHandle root, std::u16string subKey, std::u16string valueName);

// Reads the REG_SZ value `valueName`. `value` is always assigned: the text
// read, or the empty string when the key or value is missing, the value is
// not REG_SZ, or it does not fit the 1024-byte buffer.
long RegGetString(AnsiRegistry& registry, RegHandle root, std::u16string subKey,
                  std::u16string valueName, std::u16string& value);

// Bytes `text` takes in the ANSI code page: 2 per double-byte character, else 1.
long AnsiByteLength(AnsiRegistry& registry, std::u16string_view text);

// The leading characters of `text` whose ANSI bytes add up to exactly
// `byteCount`; the whole text when no prefix does.
std::u16string LeftAnsiBytes(AnsiRegistry& registry, std::u16string_view text, long byteCount);

}  // namespace modRegedit
