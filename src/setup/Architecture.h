// Which Windows a program is for: a 32-bit program runs on 32-bit Windows
// only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace setup {

// Why this program must not run here, or nothing: a 32-bit program on
// 64-bit Windows sees the 32-bit system folder (another printer setup tool),
// the 32-bit registry view and the 32-bit printer drivers, and would do the
// job half right. `program` is "PortSetup.exe" or "PortSetupCli.exe".
std::optional<std::u16string> WrongWindowsFor(std::u16string_view programProcessor, std::u16string_view nativeProcessor,
                                              std::u16string_view program);

}  // namespace setup
