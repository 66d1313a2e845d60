// The one event of an install, remove, set-default or test-print run, written
// as it ends, however it ends (its verdict, refused, overdue, an internal
// error); an elevated install's or remove's verdict is kept as the machine's
// last one too.
#pragma once

#include "cli/Arguments.h"
#include "platform/Seams.h"

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Nothing for the commands whose row names no event.
void ReportRunEvent(const platform::Seams& seams, const CommandLine& line, int exitCode, std::u16string_view reason,
                    std::u16string_view logPath = {}, const std::vector<std::u16string>& warnings = {},
                    const std::vector<std::u16string>& removed = {});

}  // namespace cli
