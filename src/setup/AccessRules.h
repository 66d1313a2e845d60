// Who else may change a file or folder, and whether an elevated run may
// take one as its own: the rules the machine folder, the log, the locks and
// the driver package are judged by. Pure: they read the facts a handle gave.
#pragma once

#include "platform/Seams.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

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

// Whom else the entries let do any of `rights`; nothing when no one.
std::optional<std::u16string> WhoElseMay(const platform::PathFacts& facts, std::u16string_view runningUser,
                                         std::uint32_t rights);
// Why the owner is not one of the trusted accounts, or nothing.
std::optional<std::u16string> WhyOwnerUntrusted(const platform::PathFacts& facts, std::u16string_view runningUser);

}  // namespace setup
