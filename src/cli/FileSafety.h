// The console's machine run: the machine folder, its log and locks, and the
// folder of a given log. The machine folder is the run's own, made by it
// with a protected descriptor and never adopted from someone else;
// everything below it is reached relative to its checked handle, and no
// link is ever followed.
#pragma once

#include "platform/Seams.h"
#include "setup/AccessRules.h"

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
// The lock files: SYSTEM and Administrators only, so that no one else can
// open or hold them.
inline constexpr std::u16string_view kLockFileDescriptor = u"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
// The files of the machine folder: the log, and the two locks.
inline constexpr std::u16string_view kMachineLogName = u"PortSetupCli.log";
inline constexpr std::u16string_view kSingleRunLockName = u"PortSetupCli.lock";
inline constexpr std::u16string_view kLogLockName = u"PortSetupCli.log.lock";

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

}  // namespace cli
