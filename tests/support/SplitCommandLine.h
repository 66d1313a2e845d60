// Splits a command line by the rules of CommandLineToArgvW, which the printer
// setup tool reads its options with: the program name first (up to the next
// quote when it starts with one, else up to a blank), then the arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

}  // namespace testing_support
