// How PortSetupCli status shows what is installed: lines of text, or one JSON
// object for scripts.
#pragma once

#include "setup/PreChecks.h"
#include "setup/Status.h"
#include "setup/TestPrint.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// `askedPort` is the port --port named; `notAsAsked` what NotAsAsked found.
std::vector<std::u16string> StatusLines(const setup::InstallationStatus& status,
                                        const std::optional<setup::Port>& askedPort,
                                        const std::vector<std::u16string>& notAsAsked, const setup::Product& product);
// `askedVersion` is the version --min-driver-version named, `askedDevice`
// the pattern --device (or the stored choice) named.
std::u16string StatusJson(const setup::InstallationStatus& status, const std::optional<setup::Port>& askedPort,
                          const std::vector<std::u16string>& notAsAsked, const setup::Product& product,
                          const std::optional<std::u16string>& askedVersion = std::nullopt,
                          const std::optional<std::u16string>& askedDevice = std::nullopt);

// How PortSetupCli doctor shows its findings: a line each (and its fix),
// then the verdict; or one JSON object.
std::vector<std::u16string> DoctorLines(const std::vector<setup::Finding>& findings, int exitCode);
std::u16string DoctorJson(const std::vector<setup::Finding>& findings, int exitCode);

// How PortSetupCli test-print shows its outcome as one JSON object.
std::u16string TestPrintJson(const setup::TestPrintResult& result);

}  // namespace cli
