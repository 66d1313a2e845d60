// Text rules for the command line and the program's path, kept apart from the
// Win32 calls so that they run on the host too.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The text after the program name and the blanks that follow it, as Windows
// hands the command line over (quotes kept, nothing else trimmed).
std::u16string ArgumentsOf(std::u16string_view commandLine);

// The folder part of a module path, without a trailing separator, so that
// appending "\name" always gives exactly one backslash.
std::u16string DirectoryOf(std::u16string_view modulePath);

}  // namespace platform
