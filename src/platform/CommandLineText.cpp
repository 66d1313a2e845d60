#include "platform/CommandLineText.h"

namespace platform {

namespace {
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
}  // namespace

std::u16string ArgumentsOf(std::u16string_view commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == u'"') {
        // A quoted program name ends at the next quote, blank or not after it.
        const std::size_t close = commandLine.find(u'"', 1);
        i = close == std::u16string_view::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    }
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    return std::u16string(commandLine.substr(i));
}

std::u16string DirectoryOf(std::u16string_view modulePath) {
    const std::size_t slash = modulePath.find_last_of(u"\\/");
    if (slash == std::u16string_view::npos) return std::u16string(modulePath);
    std::u16string directory(modulePath.substr(0, slash));
    while (!directory.empty() && (directory.back() == u'\\' || directory.back() == u'/')) directory.pop_back();
    return directory;
}

}  // namespace platform
