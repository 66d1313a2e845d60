// The machine services an unattended run needs besides the window's: the
// printers with their drivers and ports, the default printer, exit codes, a
// clock, the caller's rights, files and folders with their security (for the
// log and the locks, which must be out of a standard user's reach). Only the
// console program uses them.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One printer as the print system reports it, in Unicode.
struct PrinterInfo {
    std::u16string name;
    std::u16string port;
    std::u16string driver;
};

struct PrinterInfoList {
    bool listed = false;
    std::vector<PrinterInfo> printers;
    std::u16string reason;  // when not listed
};

// One entry of a security descriptor's DACL.
struct AccessEntry {
    bool allow = true;
    std::u16string sid;        // e.g. "S-1-5-32-545" (Users)
    std::uint32_t mask = 0;    // the rights, as the system's access mask
    bool inheritOnly = false;  // applies to children only, not to the object
};

// What a path is, found without following a reparse point.
struct PathFacts {
    bool exists = false;
    bool directory = false;
    // A reparse point (junction, symbolic link, mount point), or a path that
    // resolves elsewhere when opened.
    bool redirected = false;
    std::uint32_t links = 1;   // hard links, for a file
    bool securityRead = false;
    std::u16string owner;      // SID
    bool nullDacl = false;     // no DACL: everyone may do everything
    std::vector<AccessEntry> access;
    std::u16string reason;     // why it could not be examined, when it exists
};

// A file opened for appending; closed when released.
class AppendFile {
public:
    virtual ~AppendFile() = default;
    // The opened file itself: whether it is a link, its links.
    virtual PathFacts Facts() = 0;
    virtual std::uint64_t Size() = 0;
    // Whether the file is empty or its last byte ends a line: a run killed
    // mid-line leaves one unended.
    virtual bool EndsWithLineBreak() = 0;
    virtual bool Append(std::string_view bytes, std::u16string& reason) = 0;
    // Renames the opened file itself to `to`, replacing what is there.
    virtual bool RenameReplacing(std::u16string_view to, std::u16string& reason) = 0;
};

// A lock file held; released with it (or when the process ends).
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

struct LockAttempt {
    enum class Outcome { Taken, HeldElsewhere, Failed } outcome = Outcome::Failed;
    std::unique_ptr<HeldLock> lock;  // when taken
    std::u16string reason;           // when failed
};

class System {
public:
    virtual ~System() = default;

    // Each printer with its port and driver, in the print system's order.
    virtual PrinterInfoList ListPrinterDetails() = 0;
    // The serial ports Windows lists for Device Manager's "Ports": the data
    // of the values under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in the
    // registry's order. A missing key lists none.
    virtual NameList ListSerialCommPorts() = 0;
    // The running user's default printer; empty when there is none.
    virtual std::u16string DefaultPrinter() = 0;
    // Deletes the print jobs queued for `printer`: a printer with jobs is not
    // deleted at once, only marked for deletion, and stays listed.
    virtual bool PurgePrintJobs(std::u16string_view printer, std::u16string& reason) = 0;
    // The exit code of a process that has ended.
    virtual std::optional<std::uint32_t> ExitCodeOf(const StartedProcess& process) = 0;
    // A clock for durations, in milliseconds.
    virtual std::uint64_t Milliseconds() = 0;
    // The local time in ISO 8601 with its offset, e.g. 2026-12-08T11:22:33+01:00.
    virtual std::u16string LocalTimestamp() = 0;
    virtual bool FileExists(std::u16string_view path) = 0;
    // `path` made absolute against the current folder.
    virtual std::u16string FullPath(std::u16string_view path) = 0;
    // Whether the program runs with administrator rights (elevated).
    virtual bool IsAdministrator() = 0;
    // The machine's folder for program data (%ProgramData%).
    virtual std::u16string ProgramDataDirectory() = 0;

    // What is at `path`, found without following a reparse point.
    virtual PathFacts Examine(std::u16string_view path) = 0;
    // The SID of the account this program runs as ("S-1-5-18" for SYSTEM).
    virtual std::u16string RunningUserSid() = 0;
    // Its name as Windows shows it ("NT AUTHORITY\\SYSTEM", "SHOP\\cashier1");
    // the SID when the name cannot be looked up.
    virtual std::u16string RunningAccountName() = 0;
    // Creates the folder with `descriptor` (SDDL) as its security, not
    // inheriting its parent's.
    virtual bool CreateFolder(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) = 0;
    // Gives an existing folder `descriptor` (SDDL), protected from inheritance.
    virtual bool SetFolderSecurity(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) = 0;
    // The names of the files and folders in a folder.
    virtual std::optional<std::vector<std::u16string>> FolderEntries(std::u16string_view path) = 0;

    // Takes the lock file at `path`, opened without sharing and created with
    // `descriptor` when missing; waits up to `waitMilliseconds` while another
    // process holds it. The system lets it go when the process ends, however.
    virtual LockAttempt TakeLock(std::u16string_view path, std::u16string_view descriptor,
                                 std::uint32_t waitMilliseconds) = 0;
    // Opens (or creates) a file for appending, without following a reparse
    // point; `createFolders` makes the missing folders on the way.
    virtual std::unique_ptr<AppendFile> OpenForAppend(std::u16string_view path, bool createFolders,
                                                      std::u16string& reason) = 0;
};

}  // namespace platform
