// Which files and folders an elevated run may write, rename or trust. The
// machine folder is the run's own, made by it with a protected descriptor
// and never adopted from someone else; everything below it is reached
// relative to its checked handle. A driver package is examined and copied
// the same way: no link is ever followed.
#pragma once

#include "platform/Seams.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The machine folder and its Logs folder: SYSTEM and Administrators full
// control, Users read and execute; not inherited from %ProgramData%.
inline constexpr std::u16string_view kMachineFolderDescriptor =
    u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// The lock files and the copy of a driver package: SYSTEM and
// Administrators only, so that no one else can open, read or hold them.
inline constexpr std::u16string_view kLockFileDescriptor = u"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
inline constexpr std::u16string_view kPackageCopyDescriptor = u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The files of the machine folder: the log, and the two locks.
inline constexpr std::u16string_view kMachineLogName = u"PortSetupCli.log";
inline constexpr std::u16string_view kSingleRunLockName = u"PortSetupCli.lock";
inline constexpr std::u16string_view kLogLockName = u"PortSetupCli.log.lock";
// The most a driver package copy may hold, in bytes and in entries.
inline constexpr std::uint64_t kPackageLimitBytes = std::uint64_t{256} * 1024 * 1024;
inline constexpr std::size_t kPackageLimitEntries = 4096;

// Rights that change a file or folder, or what a folder holds: write, append
// (or add a file, add a folder), delete, delete a child, write the
// attributes (with write, enough to make an empty folder a link), write the
// DACL or the owner, and the generic forms.
inline constexpr std::uint32_t kChangingRights = 0x0002u | 0x0004u | 0x0040u | 0x0100u | 0x00010000u | 0x00040000u |
                                                 0x00080000u | 0x10000000u | 0x40000000u;

// SYSTEM, Administrators, TrustedInstaller, or the account this run runs as.
bool IsTrustedAccount(std::u16string_view sid, std::u16string_view runningUser);

// Why a folder may not be taken as the machine's as it is, or nothing: it
// is the run's own only when it is a plain folder that a trusted account
// owns and no one else may change (through a handle opened while others
// could, they still might).
std::optional<std::u16string> WhyFolderNotOurs(const platform::PathFacts& facts, std::u16string_view runningUser);

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

// A lock file in `folder`, taken and checked on its handle: one that someone
// else could have made or changed is let go again, and the attempt fails
// with why.
platform::LockAttempt TakeCheckedLock(platform::HeldFolder& folder, std::u16string_view name,
                                      std::uint32_t waitMilliseconds, std::u16string_view runningUser);

// The folder of a given log (`path`, a full path to the file): each folder
// from the volume's root opened relative to the one before, a missing one
// made with the machine folder's security, every one checked; nothing, with
// why, when one may not be used.
std::unique_ptr<platform::HeldFolder> PrepareGivenLogFolder(platform::Files& files, std::u16string_view path,
                                                            std::u16string_view runningUser, std::u16string& reason);

struct MachineFolders {
    std::u16string root;  // %ProgramData%\PortSetup: the lock files, the package copy
    std::u16string logs;  // ...\Logs: the machine log
    std::shared_ptr<platform::HeldFolder> rootFolder;  // when usable
    std::shared_ptr<platform::HeldFolder> logsFolder;  // when usable
    std::u16string reason;  // why one of them is not usable
    // What someone else had left at their names and was moved aside, one line each.
    std::vector<std::u16string> takenBack;
};

// Makes %ProgramData%\PortSetup and its Logs folder the run's own, since
// users may create folders in ProgramData: one that is the run's own (see
// WhyFolderNotOurs) is used; anything else at the name (a folder someone
// else made, a link, a file) is moved aside whole, as it is, and a fresh
// folder made with the machine folder's security. Nothing is deleted. When
// the name is taken again meanwhile, or cannot be moved, the folder is not
// used (no log, no lock), and the job goes on. The log and the lock files
// are claimed the same way: what is at their names and is not a plain file
// of the run's own is moved aside.
MachineFolders PrepareMachineFolders(platform::System& machine, platform::Files& files);

// What a driver package folder is to an elevated run.
struct PackageExamination {
    enum class Verdict { Trusted, Changeable, Refused } verdict = Verdict::Refused;
    // Refused: a link or a file of several names on the way or inside
    // (`link`), or why it could not be read; Changeable: who else may change what.
    std::u16string why;
    bool link = false;
    std::unique_ptr<platform::HeldFolder> folder;  // unless refused
};
// Examines `folder` and what it holds, and the folders above it, each
// opened relative to the one before: no link anywhere, no file of several
// names; then whether anyone but SYSTEM, Administrators, TrustedInstaller
// and the account of this run could change any of it.
PackageExamination ExaminePackage(platform::Files& files, std::u16string_view folder, std::u16string_view runningUser);

// Copies the package held by `from` into `machineRoot`\Package (an earlier
// copy replaced), readable by SYSTEM and Administrators only, each file read
// through the handle that was checked; at most kPackageLimitBytes and
// kPackageLimitEntries. A copy that fails is removed again. Why it failed,
// or nothing; `copyPath` names the copy.
std::optional<std::u16string> CopyPackage(platform::HeldFolder& from, platform::HeldFolder& machineRoot,
                                          std::u16string& copyPath);
// Removes the copy again (a package refused after it was copied).
void RemovePackageCopy(platform::HeldFolder& machineRoot);

}  // namespace cli
