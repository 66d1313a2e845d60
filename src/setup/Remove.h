// The unattended removal: every printer whose driver, as the print system
// reports it, is the product's, then the driver; each step checked.
#pragma once

#include "setup/Services.h"

#include <cstdint>

namespace setup {

Verdict RemoveUnattended(std::uint32_t timeoutMilliseconds, Services services);

}  // namespace setup
