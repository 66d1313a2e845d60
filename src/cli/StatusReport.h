// How PortSetupCli status shows what is installed: lines of text, or one JSON
// object for scripts.
#pragma once

#include "setup/Unattended.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// `askedPort` is the port --port named ("COM3", "USB"); `notAsAsked` what
// NotAsAsked found.
std::vector<std::u16string> StatusLines(const setup::InstallationStatus& status,
                                        const std::optional<std::u16string>& askedPort,
                                        const std::vector<std::u16string>& notAsAsked);
std::u16string StatusJson(const setup::InstallationStatus& status, const std::optional<std::u16string>& askedPort,
                          const std::vector<std::u16string>& notAsAsked);

}  // namespace cli
