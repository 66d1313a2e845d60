// The last verdict of an install or remove, kept where inventory tools and
// deployment wrappers read it without the log: HKLM\SOFTWARE\PortSetup,
// LastExitCode (REG_DWORD), LastResult (the verdict as text), LastRunTime
// (ISO 8601 with its offset) and LastCommand (the command line as it ran).
#pragma once

#include "platform/AnsiRegistry.h"

#include <string>
#include <string_view>

namespace setup {

inline constexpr std::u16string_view kLastVerdictKey = u"SOFTWARE\\PortSetup";
// The longest LastResult kept: a reason long enough to name the cause and
// the fix.
inline constexpr std::size_t kLastResultLimit = 2000;

struct LastVerdict {
    std::u16string commandLine;
    int exitCode = 0;
    std::u16string message;  // the verdict's reason; empty when done
    std::u16string time;
};

// "done", "done, a restart is needed: ...", or "failed: ...".
std::u16string LastResultText(int exitCode, std::u16string_view message);
// Writes the four values; the first status that is not success, else 0.
// A character the ANSI code page cannot hold is written as "?": the text is
// for reading, and a name in it must not cost the whole record.
long RecordLastVerdict(platform::AnsiRegistry& registry, const LastVerdict& verdict);

}  // namespace setup
