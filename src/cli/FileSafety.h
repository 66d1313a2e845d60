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

// Why a file may not be renamed or replaced, or nothing: a link, a folder,
// a file with more than one name.
std::optional<std::u16string> WhyFileUnsafe(const platform::PathFacts& facts);
// Why a log or lock file, read on its handle, may not be used: as above, or
// an owner other than SYSTEM, Administrators, TrustedInstaller or the
// account of this run, or entries that let anyone else change it.
std::optional<std::u16string> WhyOwnFileUnsafe(const platform::PathFacts& facts, std::u16string_view runningUser);
// Why a folder on the way to a given log may not be used: a link, another
// owner, or entries that let others replace or redirect what it holds.
// Others may add entries to the folders above the one holding the file
// (a volume's root allows as much), not to that one.
std::optional<std::u16string> WhyFolderOnTheWayUnsafe(const platform::PathFacts& facts, std::u16string_view runningUser,
                                                      bool holdsTheFile);

// A lock file taken and checked on its handle: one that someone else could
// have made or changed is let go again, and the attempt fails with why.
platform::LockAttempt TakeCheckedLock(platform::Files& files, std::u16string_view path, std::uint32_t waitMilliseconds,
                                      std::u16string_view runningUser);

// Makes the missing folders of a given log with the machine folder's
// security and checks every folder on its way; why it may not be used, or
// nothing when it may. `path` is a full path.
std::optional<std::u16string> PrepareGivenLogFolders(platform::Files& files, std::u16string_view path,
                                                     std::u16string_view runningUser);

struct MachineFolders {
    std::u16string root;      // %ProgramData%\PortSetup: the lock files
    std::u16string logs;      // ...\Logs: the machine log
    bool rootUsable = false;
    bool logsUsable = false;
    std::u16string reason;    // why one of them is not usable
    // What was taken back from someone else, one line each.
    std::vector<std::u16string> takenBack;
};

// Takes %ProgramData%\PortSetup and its Logs folder for the machine before
// use, since users may create folders in ProgramData: a link there is
// removed (never its target), a file moved aside, a folder of another owner
// taken over, and what others own inside removed; then creates what is
// missing with the machine folder's security and protects a folder that
// grants too much. A folder that cannot be taken back is not used.
MachineFolders PrepareMachineFolders(platform::Machine& machine, platform::Files& files);

// Why a driver package folder could be changed by someone other than
// SYSTEM, Administrators, TrustedInstaller and the account of this run:
// through the folder itself, anything in it (links included), or a folder
// above it; nothing when no one else can change it.
std::optional<std::u16string> WhyPackageChangeable(platform::Files& files, std::u16string_view folder,
                                                   std::u16string_view runningUser);

// Copies a driver package folder, with what it holds, into `to` (replaced,
// then created with the machine folder's security); why it could not.
std::optional<std::u16string> CopyPackage(platform::Files& files, std::u16string_view from, std::u16string_view to);

}  // namespace cli
