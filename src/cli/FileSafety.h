// Which files and folders an elevated run may write, rename or trust: the
// machine's log folder and lock files must be out of a standard user's reach,
// and a driver package that users can change is worth a warning.
#pragma once

#include "platform/Seams.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The machine folder and its Logs folder: SYSTEM and Administrators full
// control, Users read and execute; not inherited from %ProgramData%.
inline constexpr std::u16string_view kMachineFolderDescriptor =
    u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// The lock files: SYSTEM and Administrators only, so that no one else can
// open, hold or share them.
inline constexpr std::u16string_view kLockFileDescriptor = u"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// Rights that change a file or folder, or what a folder holds: write, append
// (or add a file, add a folder), delete, delete a child, write the
// attributes (with write, enough to make an empty folder a link), write the
// DACL or the owner, and the generic forms.
inline constexpr std::uint32_t kChangingRights = 0x0002u | 0x0004u | 0x0040u | 0x0100u | 0x00010000u | 0x00040000u |
                                                 0x00080000u | 0x10000000u | 0x40000000u;

// SYSTEM, Administrators, TrustedInstaller, or the account this run runs as.
bool IsTrustedAccount(std::u16string_view sid, std::u16string_view runningUser);

// Why a folder from the machine folder down may not be used as it is, or
// nothing when it may. `fixable` is set when giving it the machine folder's
// security would make it usable (a plain folder of a trusted owner that
// grants others too much).
std::optional<std::u16string> WhyFolderUnsafe(const platform::PathFacts& facts, std::u16string_view runningUser,
                                              bool& fixable);

// Why a log or lock file may not be used, or nothing: a link, a folder, a
// file with more than one name.
std::optional<std::u16string> WhyFileUnsafe(const platform::PathFacts& facts);

struct MachineFolders {
    std::u16string root;      // %ProgramData%\PortSetup: the lock files
    std::u16string logs;      // ...\Logs: the machine log
    bool rootUsable = false;
    bool logsUsable = false;
    std::u16string reason;    // why one of them is not usable
};

// Creates %ProgramData%\PortSetup and its Logs folder with the machine
// folder's security where missing, protects a trusted one that grants too
// much, and refuses any that a standard user could have made or redirected.
MachineFolders PrepareMachineFolders(platform::Machine& machine, platform::Files& files);

// The package folder and the files in it that Users, Authenticated Users,
// Everyone or Interactive may change.
std::vector<std::u16string> ChangeableByUsers(platform::Files& files, std::u16string_view folder);

}  // namespace cli
