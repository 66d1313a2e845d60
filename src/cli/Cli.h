// PortSetupCli: runs one command line from start to exit code, on the
// machine's seams, so that the host tests run it whole.
#pragma once

#include "cli/Arguments.h"
#include "cli/Console.h"
#include "cli/RunEvent.h"
#include "platform/Seams.h"
#include "setup/Product.h"

namespace cli {

// Runs the command line for `product` and returns the exit code.
int RunCli(const CommandLine& line, const platform::Seams& seams, Console& console,
           const setup::Product& product);

// Where a failed `set-default --quiet` (Active Setup's command, which marks
// its entry done however the run ends) arranges one more try: a RunOnce
// value of the signed-in user's, with the same command.
inline constexpr std::u16string_view kRetryKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr std::u16string_view kRetryValue = u"PortSetupDefaultPrinter";

// Arranges that retry; what was done, for the run's event and stderr.
std::u16string ArrangeRetryAtNextSignIn(platform::System& machine, platform::AnsiRegistry& registry);

}  // namespace cli
