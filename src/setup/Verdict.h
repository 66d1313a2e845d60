// How an unattended run ends (its verdict: the exit code and what failed),
// and where it tells what it does meanwhile (its journal).
#pragma once

#include "setup/ExitCodes.h"

#include <string>
#include <string_view>

namespace setup {

struct Verdict {
    int exitCode = kExitDone;
    std::u16string message;  // what failed, and the system's reason; empty when done

    bool failed() const { return !Succeeded(exitCode); }
};

inline Verdict Failed(std::u16string message) { return {kExitFailed, std::move(message)}; }

// Where an unattended run tells what it does, one line a step, as it happens.
class Journal {
public:
    virtual ~Journal() = default;
    virtual void Step(std::u16string_view line) = 0;
};

}  // namespace setup
