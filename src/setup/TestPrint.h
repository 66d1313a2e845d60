// A test print: a short page (the tool, the port and its stored settings,
// the time) sent to our printer as a RAW job, then watched until it has
// left the queue (done) or the time is up (then deleted from the queue, and
// the verdict names the job's status and the port's settings, since wrong
// line settings and a loose cable are the usual causes).
#pragma once

#include "setup/Services.h"

#include <cstdint>
#include <string>

namespace setup {

inline constexpr std::uint32_t kDefaultTestPrintMilliseconds = 60000;

struct TestPrintResult {
    Verdict verdict;
    bool printed = false;       // the job left the queue without being deleted
    std::u16string printer;     // the printer the page went to; empty when none was found
    std::u16string port;        // its port, with the settings stored for a COM port
    std::uint32_t job = 0;      // the job's id; 0 when none was started
    std::u16string jobStatus;   // the job's last status, as words
};

TestPrintResult TestPrint(std::uint32_t timeoutMilliseconds, Services services);
// The job status bits as words: "offline, paper out".
std::u16string JobStatusText(std::uint32_t status);

}  // namespace setup
