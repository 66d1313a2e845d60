// How PortSetupCli status shows what is installed: lines of text, or one JSON
// object for scripts.
#pragma once

#include "setup/PreChecks.h"
#include "setup/Status.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// `askedPort` is the port --port named; `notAsAsked` what NotAsAsked found.
std::vector<std::u16string> StatusLines(const setup::InstallationStatus& status,
                                        const std::optional<setup::Port>& askedPort,
                                        const std::vector<std::u16string>& notAsAsked, const setup::Product& product);
std::u16string StatusJson(const setup::InstallationStatus& status, const std::optional<setup::Port>& askedPort,
                          const std::vector<std::u16string>& notAsAsked, const setup::Product& product);

// How PortSetupCli doctor shows its findings: a line each (and its fix),
// then the verdict; or one JSON object.
std::vector<std::u16string> DoctorLines(const std::vector<setup::Finding>& findings, int exitCode);
std::u16string DoctorJson(const std::vector<setup::Finding>& findings, int exitCode);

}  // namespace cli
