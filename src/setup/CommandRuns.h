// The system programs an unattended run starts (the printer setup tool, the
// driver store's tool): each started, waited for within its time, its end
// and exit code in the journal.
#pragma once

#include "setup/Services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// Runs a system program's command line and waits for it; a failure to
// start it, or a run past the time limit (it is then left running), is the
// verdict. Its exit code, when it is known, in `exitCode`.
std::optional<Verdict> FailureOfRun(Services& s, std::u16string_view program, std::u16string_view tool,
                                    std::uint32_t timeoutMilliseconds, const std::u16string& commandLine,
                                    std::optional<std::uint32_t>& exitCode);
// The printer setup tool's command: its exit code says nothing that counts,
// the print system is asked afterwards.
std::optional<Verdict> FailureOfCommand(Services& s, std::uint32_t timeoutMilliseconds, const std::u16string& commandLine);

// Whether `drivers` lists the product's driver.
bool DriverInstalled(const platform::NameList& drivers, const Product& product);

}  // namespace setup
