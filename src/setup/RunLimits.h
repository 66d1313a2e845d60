// How long an unattended run may go without a step. Each printer setup
// command has its own time limit and is left running past it; what has
// none is a call into the print system, the registry or the file system.
// An install, repair or remove that has said nothing for its commands' time
// limit and this margin is stuck in such a call: it ends with 1460 and its
// verdict instead of holding the deployment. The MSI's custom action, which
// reads every line the run says, waits a margin longer still.
#pragma once

#include <cstdint>

namespace setup {

inline constexpr std::uint32_t kStallMarginMilliseconds = 60000;
inline constexpr std::uint32_t kReaderMarginMilliseconds = 30000;

// The longest an unattended run may go without saying a step.
constexpr std::uint64_t StallLimitMilliseconds(std::uint32_t commandTimeoutMilliseconds) {
    return std::uint64_t{commandTimeoutMilliseconds} + kStallMarginMilliseconds;
}
// The longest the custom action waits for the run's next line.
constexpr std::uint64_t ReaderLimitMilliseconds(std::uint32_t commandTimeoutMilliseconds) {
    return StallLimitMilliseconds(commandTimeoutMilliseconds) + kReaderMarginMilliseconds;
}

}  // namespace setup
