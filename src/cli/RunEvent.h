// The one event of an install, remove or set-default run, written as it
// ends, however it ends (its verdict, refused, overdue, an internal error).
#pragma once

#include "cli/Arguments.h"
#include "platform/Seams.h"

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Nothing for the commands whose row names no event.
void ReportRunEvent(platform::EventLog& events, const CommandLine& line, int exitCode, std::u16string_view reason,
                    std::u16string_view logPath = {}, const std::vector<std::u16string>& warnings = {});

}  // namespace cli
