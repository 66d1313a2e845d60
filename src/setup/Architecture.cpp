#include "setup/Architecture.h"

namespace setup {

std::optional<std::u16string> WrongWindowsFor(std::u16string_view programProcessor, std::u16string_view nativeProcessor,
                                              std::u16string_view program) {
    if (programProcessor != u"x86" || nativeProcessor == u"x86") return std::nullopt;
    return u"This " + std::u16string(program) + u" is the 32-bit program, for 32-bit Windows; this Windows is 64-bit (" +
           std::u16string(nativeProcessor) + u"). Use the 64-bit " + std::u16string(program) +
           u" (from the x64 MSI or the win64 zip) instead; nothing was changed.";
}

}  // namespace setup
