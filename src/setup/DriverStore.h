// The product's driver package in Windows' driver store, where the USB
// install puts it (pnputil /add-driver): a USB printer plugged in later gets
// the driver, and a queue, from there. Found through the INF folder and
// Windows' record of each published INF's origin, never through a tool's
// output; removed with the driver store's tool, and checked.
#pragma once

#include "setup/Services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// Whether `name` is a published INF's name: "oem" and digits, then ".inf".
bool IsPublishedInfName(std::u16string_view name);
// Whether the published INF `name` is the product's package: the INF it
// lists the product's model for this processor, and it was published from
// the product's INF (or Windows kept no record, and names it itself).
bool IsOurPublishedInf(std::u16string_view name, std::u16string_view original, std::string_view bytes,
                       std::u16string_view processor, const Product& product);
// The published INFs of the product's package, by name; not listed, with
// why, when the driver store cannot be read.
platform::NameList FindOurPackages(platform::System& machine, const Product& product);

// Removes each package of the product from the driver store
// (pnputil /delete-driver NAME /uninstall) and checks that it is gone; a
// package a device still holds is named, with the fix. Each step in the
// journal; `restart` when the tool asked for one.
std::optional<Verdict> RemoveOurPackages(Services& s, std::uint32_t timeoutMilliseconds, bool& restart);

}  // namespace setup
