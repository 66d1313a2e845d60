// The exit codes' one table: each code with its line in the usage text, and
// its cause and fix as the administrators' documentation shows them (a test
// holds the documentation's table to this one).
#pragma once

#include <span>
#include <string_view>

namespace setup {

struct ExitCodeRow {
    int code;
    std::u16string_view usage;  // the usage text's line
    std::u16string_view cause;  // the documentation's cause
    std::u16string_view fix;    // and what to do; empty where nothing is to be done
};

std::span<const ExitCodeRow> ExitCodeTable();

}  // namespace setup
