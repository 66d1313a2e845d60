// Small text helpers the messages, the log and the console's output share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// A number in decimal digits.
std::u16string Number(std::uint64_t n);
// `text` in double quotes, for a message: "KALDO Veltro MiniPrinter".
std::u16string Quoted(std::u16string_view text);
// `name` inside `folder`: folder\name.
std::u16string Within(std::u16string_view folder, std::u16string_view name);
// `text`, then the reason in parentheses.
std::u16string WithReason(std::u16string text, std::u16string_view reason);
// The items separated by ", ": "COM1, COM4".
std::u16string CommaList(const std::vector<std::u16string>& items);
// Whether `text` holds `part`, or is `other`, letters A to Z in either case
// alike: as Windows compares file names and device IDs.
bool ContainsIgnoringCase(std::u16string_view text, std::u16string_view part);
bool SameIgnoringCase(std::u16string_view text, std::u16string_view other);
// Whether a log line or an event shows `c` escaped: what could start a line
// of its own or turn a line's text around where it is read (C0 and C1
// controls and DEL, U+0085 among them; the line and paragraph separators
// U+2028 and U+2029; the bidirectional controls U+202A to U+202E and U+2066
// to U+2069).
bool ShownEscaped(char16_t c);
// UTF-8 for the log, JSON and redirected output; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view text);
// UTF-16 from UTF-8 that another program wrote; each byte that does not
// belong to a well-formed sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view bytes);

}  // namespace setup
