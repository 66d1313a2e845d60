// What a driver package folder is to an elevated run, and its protected
// copy: examined from the drive's root down, each folder opened relative to
// the one before and every file read through the handle that was checked;
// no link is ever followed.
#pragma once

#include "platform/Seams.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// The copy of a driver package: SYSTEM and Administrators only, so that no
// one else can read or change it.
inline constexpr std::u16string_view kPackageCopyDescriptor = u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The most a driver package copy may hold, in bytes and in entries.
inline constexpr std::uint64_t kPackageLimitBytes = std::uint64_t{256} * 1024 * 1024;
inline constexpr std::size_t kPackageLimitEntries = 4096;

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

// How an installation takes a driver package that others can change: install
// and the window copy it where no one else can change it, and the copy is
// checked and installed; doctor has none, and checks the package where it
// is, as strictly.
class PackageCopier {
public:
    virtual ~PackageCopier() = default;
    // Copies the package held by `package`; why it could not be, or nothing,
    // with the copy's folder in `copyPath`.
    virtual std::optional<std::u16string> Copy(platform::HeldFolder& package, std::u16string& copyPath) = 0;
};

// Where an installation takes its driver package from: the folder as it is,
// when only the trusted accounts can change it; a protected copy when others
// can (or, without a copier, the folder, to be judged strictly); nothing
// when it holds a link or a file of several names, cannot be read, or
// cannot be copied.
struct PackageFolderChoice {
    enum class Kind { Missing, AsItIs, Copied, Changeable, Refused } kind = Kind::Refused;
    std::u16string directory;  // the folder to install from
    std::u16string why;        // Copied, Changeable: who else may change what; Refused: why not used
    int exitCode = 0;          // Refused: 448 for a link or a file of several names, else 1619
    std::u16string copyFailure;  // Refused: it could be read, not copied, and why
};
PackageFolderChoice ChoosePackageFolder(platform::Files& files, std::u16string_view folder,
                                        std::u16string_view runningUser, PackageCopier* copier);

// Copies the package held by `from` into `machineRoot`\Package (an earlier
// copy replaced), readable by SYSTEM and Administrators only, each file read
// through the handle that was checked; at most kPackageLimitBytes and
// kPackageLimitEntries. A copy that fails is removed again. Why it failed,
// or nothing; `copyPath` names the copy.
std::optional<std::u16string> CopyPackage(platform::HeldFolder& from, platform::HeldFolder& machineRoot,
                                          std::u16string& copyPath);
// Removes the copy again (a package refused after it was copied).
void RemovePackageCopy(platform::HeldFolder& machineRoot);

}  // namespace setup
