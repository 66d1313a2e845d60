// The unattended removal: every local printer whose driver, as the print
// system reports it, is the product's, then the driver; each step checked. A
// connection to a print server's queue is the server's: never deleted here,
// nor its jobs purged.
#pragma once

#include "setup/Services.h"

#include <cstdint>

namespace setup {

Verdict RemoveUnattended(std::uint32_t timeoutMilliseconds, Services services);

}  // namespace setup
