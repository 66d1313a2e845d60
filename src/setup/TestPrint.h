// A test print: a short page (the tool, the port and its stored settings,
// the time) sent to our printer as a RAW job, then watched until it has
// left the queue (done) or the time is up (failed, with the job's status
// and the port's settings, since wrong line settings and a loose cable are
// the usual causes).
#pragma once

#include "setup/Services.h"

#include <cstdint>
#include <string>

namespace setup {

inline constexpr std::uint32_t kDefaultTestPrintMilliseconds = 60000;

Verdict TestPrint(std::uint32_t timeoutMilliseconds, Services services);
// The job status bits as words: "offline, paper out".
std::u16string JobStatusText(std::uint32_t status);

}  // namespace setup
