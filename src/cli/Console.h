// Where PortSetupCli's output goes: stdout and stderr.
#pragma once

#include <string_view>

namespace cli {

class Console {
public:
    virtual ~Console() = default;
    virtual void Out(std::u16string_view line) = 0;
    virtual void Err(std::u16string_view line) = 0;
};

}  // namespace cli
