// The services of the machine that the programs use, one seam per concern:
// Windows' own in the exes (Win32Seams.h), in-memory stand-ins in the host
// tests. The window takes the seams it uses, each the part both programs
// share (Machine, PrinterList); the console program takes them all, each
// whole (System, Printers), bundled as Seams.
#pragma once

#include "platform/AnsiRegistry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Names the system lists (printers, drivers, serial ports), or why it could
// not list them. A failed listing is not an empty one.
struct NameList {
    bool listed = false;
    std::vector<std::u16string> names;
    std::u16string reason;  // when not listed
};

// ---- The machine and the program on it: the screen, the program's command
// line and folder, the processors; for unattended runs also the machine's
// folders and serial ports, who the program runs as, and the clock.

// Width and height of the primary screen, in twips (1/1440 inch).
struct TwipSize {
    float width = 0;
    float height = 0;
};

// What both programs ask about the program and the machine.
class Machine {
public:
    virtual ~Machine() = default;

    virtual TwipSize ScreenSize() = 0;
    // The argument text after the program name and the blanks that follow it.
    virtual std::u16string CommandLineArguments() = 0;
    // The folder of the program file, never with a trailing separator.
    virtual std::u16string ProgramDirectory() = 0;
    // The processor Windows itself runs on, as INF files decorate their
    // sections: "amd64", "x86", "arm64" or "ia64".
    virtual std::u16string NativeProcessor() = 0;
    // The processor this program was built for, in the same words.
    virtual std::u16string ProgramProcessor() = 0;
};

// A device of Windows' Ports class (a serial port, a USB adapter's or a
// printer's virtual COM port), as Device Manager shows it.
struct PortDevice {
    std::u16string portName;      // its PortName: "COM7"
    std::u16string name;          // "USB Serial Port (COM7)"
    std::vector<std::u16string> hardwareIds;  // "FTDIBUS\\COMPORT&VID_0403&PID_6001", ...
    std::u16string instanceId;    // "FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000"
    std::u16string enumerator;    // the bus driver that found it: "USB", "FTDIBUS", "ACPI"
};
struct PortDeviceList {
    bool listed = false;
    std::vector<PortDevice> devices;
    std::u16string reason;  // when not listed
};

// What unattended runs also ask of Windows: its folder for program data,
// its serial ports, who the program runs as, signatures, and the clock.
class System : public Machine {
public:
    // The machine's folder for program data (%ProgramData%).
    virtual std::u16string ProgramDataDirectory() = 0;
    // The serial ports Windows lists for Device Manager's "Ports": the data
    // of the values under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in the
    // registry's order. A missing key lists none.
    virtual NameList ListSerialCommPorts() = 0;
    // The present devices of the Ports device class, with their COM ports.
    virtual PortDeviceList ListPortDevices() = 0;
    // The USB printer ports ("USB001") whose printer is plugged in now: the
    // print system keeps a USB port, and its queue, after its device went.
    virtual NameList ListPresentUsbPrintPorts() = 0;

    // Whether the program runs with administrator rights (elevated).
    virtual bool IsAdministrator() = 0;
    // The SID of the account this program runs as ("S-1-5-18" for SYSTEM).
    virtual std::u16string RunningUserSid() = 0;
    // Its name as Windows shows it ("NT AUTHORITY\\SYSTEM", "SHOP\\cashier1");
    // the SID when the name cannot be looked up.
    virtual std::u16string RunningAccountName() = 0;

    // Why a COM port ("COM3") cannot be opened now (another program holds it
    // open, ...), or nothing when it can; it is closed again at once.
    virtual std::optional<std::u16string> ComPortBusy(std::u16string_view port) = 0;
    // Whether a driver package's catalog file carries a signature that holds
    // and whose signer this machine trusts to publish drivers without asking
    // (Microsoft's driver signature, or a certificate in the machine's
    // Trusted Publishers store). With `members` (full paths), also whether
    // the catalog lists each of them by its hash: a signed catalog vouches
    // only for its own files.
    struct CatalogTrust {
        enum class State { Trusted, Unverified, SignerNotTrusted, NotMember };
        State state = State::Unverified;
        std::u16string detail;  // the signer's name, why the signature does not hold, or the file not listed
    };
    virtual CatalogTrust CatalogSignature(std::u16string_view catalogPath, const std::vector<std::u16string>& members) = 0;

    // Windows' driver store, as its INF folder shows it: the names of the
    // published INF files (%windir%\INF\oem*.inf), what one holds (at most
    // `limit` bytes, never through a link), and the name of the INF it was
    // published from, as Windows recorded it (the published name itself
    // where Windows kept no record).
    virtual NameList ListPublishedInfs() = 0;
    virtual std::optional<std::string> PublishedInfBytes(std::u16string_view name, std::uint64_t limit,
                                                         std::u16string& reason) = 0;
    virtual std::optional<std::u16string> OriginalInfName(std::u16string_view name, std::u16string& reason) = 0;

    // A clock for durations, in milliseconds.
    virtual std::uint64_t Milliseconds() = 0;
    // The local time in ISO 8601 with its offset, e.g. 2026-12-08T11:22:33+01:00.
    virtual std::u16string LocalTimestamp() = 0;
    // The calling thread's ID, as a log line names it.
    virtual std::uint32_t ThreadId() = 0;
};

// ---- The print system: its printers, drivers and default printer, and the
// jobs a printer holds. Every call goes to winspool on Windows.

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

// One printer asked for by name: found or not, when the print system answered.
struct PrinterLookup {
    bool asked = false;
    bool found = false;
    PrinterInfo printer;    // when found
    std::u16string reason;  // when not asked
};

// The printers' and drivers' names: what both programs list.
class PrinterList {
public:
    virtual ~PrinterList() = default;
    // Printer names, in the order the print system lists them.
    virtual NameList ListPrinters() = 0;
    // The model names of the installed printer drivers.
    virtual NameList ListPrinterDrivers() = 0;
};

// A page sent as a print job.
struct SentJob {
    std::uint32_t id = 0;     // the job's id; 0 when no job was started
    bool taken = false;       // the print system took the whole page: it is in the queue or printed
    std::u16string reason;    // why not; empty while it is still being taken at the time limit
};

// What unattended runs also ask of the print system and do with it.
class Printers : public PrinterList {
public:
    // The local printer `name` with its port and driver, asked for by name:
    // no listing of printer connections, which can wait on print servers.
    virtual PrinterLookup FindPrinter(std::u16string_view name) = 0;
    // Each printer with its port and driver, in the print system's order.
    virtual PrinterInfoList ListPrinterDetails() = 0;
    // The same for the local printers only: no print server is asked.
    virtual PrinterInfoList ListLocalPrinters() = 0;
    // The installed driver `model`'s version ("1.2.3.4", from its INF's
    // DriverVer); empty when it is not installed or cannot be read.
    virtual std::u16string DriverVersion(std::u16string_view model) = 0;
    // The running user's default printer; empty when there is none.
    virtual std::u16string DefaultPrinter() = 0;
    // Deletes the print jobs queued for `printer`: a printer with jobs is not
    // deleted at once, only marked for deletion, and stays listed.
    virtual bool PurgePrintJobs(std::u16string_view printer, std::u16string& reason) = 0;
    // Sends `bytes` to `printer` as one RAW print job, waiting at most
    // `timeoutMilliseconds` for the print system to take it: a print system
    // that hangs (or hands the job to its port before it answers) does not
    // hold the caller past its time.
    virtual SentJob PrintRaw(std::u16string_view printer, std::u16string_view document, std::string_view bytes,
                             std::uint32_t timeoutMilliseconds) = 0;
    // A job's status bits (JOB_STATUS_*); nothing when it is no longer queued
    // or cannot be asked (then `reason` says why).
    virtual std::optional<std::uint32_t> JobStatus(std::u16string_view printer, std::uint32_t job,
                                                   std::u16string& reason) = 0;
    // Deletes the job from the queue: a page that did not print does not
    // print later, when nobody waits for it.
    virtual bool CancelJob(std::u16string_view printer, std::uint32_t job, std::u16string& reason) = 0;
};

// ---- Processes the programs start: the printer setup tool's commands,
// started from the system folder, waited for, and their exit codes; and a
// plain wait.

// A process that was started, owned: what waiting for it needs. Whatever the
// platform keeps for it (on Windows the process handle) is released with it.
class StartedProcess {
public:
    struct Handle {
        virtual ~Handle() = default;
    };

    StartedProcess() = default;
    explicit StartedProcess(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

    Handle* get() const { return handle_.get(); }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    std::unique_ptr<Handle> handle_;
};

// What happened when a process was to be started.
struct StartResult {
    bool started = false;
    std::uint32_t error = 0;   // the system's error code when not started
    std::u16string reason;     // the system's text for that error
    StartedProcess process;    // when started
};

enum class WaitResult { AllEnded, TimedOut };

class Processes {
public:
    virtual ~Processes() = default;

    // Starts `commandLine` with the program `systemProgram` (a file name in the
    // system directory), minimized and active, and returns without waiting.
    virtual StartResult RunDetached(std::u16string_view systemProgram, std::u16string_view commandLine) = 0;
    // Waits until every one of `processes` has ended, `timeoutMilliseconds` at
    // most for all of them together. A window keeps handling its messages
    // meanwhile.
    virtual WaitResult WaitForProcesses(const std::vector<StartedProcess>& processes,
                                        std::uint32_t timeoutMilliseconds) = 0;
    // The exit code of a process that has ended.
    virtual std::optional<std::uint32_t> ExitCodeOf(const StartedProcess& process) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// ---- Files and folders with their security: what the programs read, the
// log and lock files of unattended runs, and the checks that keep those out
// of a standard user's reach (links, owners, access entries).

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
    // The opened file itself: whether it is a link, its links, its security.
    virtual PathFacts Facts() = 0;
    virtual std::uint64_t Size() = 0;
    // Whether the file is empty or its last byte ends a line: a run killed
    // mid-line leaves one unended.
    virtual bool EndsWithLineBreak() = 0;
    virtual bool Append(std::string_view bytes, std::u16string& reason) = 0;
    // Renames the opened file itself to `to`, a name in its own folder,
    // replacing what is there (a link there as a link).
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
    PathFacts facts;                 // of a taken lock file, read on its handle
};

// One entry of a folder as the folder's listing reports it: a link is
// listed as a link, never as what it points to.
struct FolderEntry {
    std::u16string name;
    bool directory = false;
    bool redirected = false;  // a reparse point: junction, symbolic link, mount point
    std::uint64_t size = 0;   // a file's, in bytes
    std::uint64_t id = 0;     // the file system's number for what is there
};

// A folder held open by its handle. What is below it is reached relative to
// that handle, never by a path, so that a folder swapped for a link on the
// way is not followed; each entry is opened as the one its listing showed,
// and refused when the system opened something else (a link's target).
class HeldFolder {
public:
    virtual ~HeldFolder() = default;
    // Its path, for messages and for the programs that take paths.
    virtual const std::u16string& Path() const = 0;
    // Its owner and access entries, read on its handle.
    virtual PathFacts Facts() = 0;
    virtual std::optional<std::vector<FolderEntry>> Entries(std::u16string& reason) = 0;
    // What `entry` is, read on a handle checked to be that entry (its
    // reason says why not, when it cannot be).
    virtual PathFacts EntryFacts(const FolderEntry& entry) = 0;
    // The subfolder `entry`; nothing, with why, when it is a link or not
    // the folder that was listed.
    virtual std::unique_ptr<HeldFolder> OpenFolder(const FolderEntry& entry, std::u16string& reason) = 0;
    // The bytes of the file `entry`, read through a handle checked to be
    // that entry: not a link, one name, at most `limit` bytes.
    virtual std::optional<std::string> ReadFile(const FolderEntry& entry, std::uint64_t limit,
                                                std::u16string& reason) = 0;
    // Makes the subfolder `name` with `descriptor` (SDDL) as its security,
    // not inherited; nothing, with why, when the name is taken.
    virtual std::unique_ptr<HeldFolder> CreateFolder(std::u16string_view name, std::u16string_view descriptor,
                                                     std::u16string& reason) = 0;
    // Makes the file `name` with `descriptor`, holding `bytes`; false, with
    // why, when the name is taken.
    virtual bool CreateFile(std::u16string_view name, std::u16string_view descriptor, std::string_view bytes,
                            std::u16string& reason) = 0;
    // Renames `entry` itself (a link as a link) to `to` in this folder.
    virtual bool Rename(const FolderEntry& entry, std::u16string_view to, std::u16string& reason) = 0;
    // Removes `entry` itself: a file, a link (never its target) or an empty folder.
    virtual bool Remove(const FolderEntry& entry, std::u16string& reason) = 0;
    // Takes the lock file `name`, opened without sharing and created with
    // `descriptor` when missing; waits up to `waitMilliseconds` while another
    // process holds it. The system lets it go when the process ends, however.
    virtual LockAttempt TakeLock(std::u16string_view name, std::u16string_view descriptor,
                                 std::uint32_t waitMilliseconds) = 0;
    // Opens (or creates) the file `name` for appending.
    virtual std::unique_ptr<AppendFile> OpenForAppend(std::u16string_view name, std::u16string& reason) = 0;
};

class Files {
public:
    virtual ~Files() = default;

    virtual bool FileExists(std::u16string_view path) = 0;
    // `path` made absolute against the current folder.
    virtual std::u16string FullPath(std::u16string_view path) = 0;
    // What is at `path`, found without following a reparse point.
    virtual PathFacts Examine(std::u16string_view path) = 0;
    // The folder at `path` (a full path), each folder on the way from the
    // volume's root opened relative to the one before; nothing, with why,
    // when any of them, or it, is a link or not a folder.
    struct Opening {
        std::unique_ptr<HeldFolder> folder;
        bool link = false;      // refused for a link on the way
        std::u16string reason;  // when not opened
    };
    virtual Opening OpenFolder(std::u16string_view path) = 0;
    // The lock `name` as a mutex in a private namespace whose boundary holds
    // the Administrators group: no standard user can create it first or hold
    // it. Failed, with the reason, where the system has no such namespaces.
    virtual LockAttempt TakeAdministratorsLock(std::u16string_view name) = 0;
};

// The entry `name` of `folder` (letter case aside), when it is listed.
std::optional<FolderEntry> FindEntry(HeldFolder& folder, std::u16string_view name, std::u16string& reason);
// The bytes of the file `name` in the folder at `directory`, every folder on
// the way and the file itself opened as listed, never through a link; at
// most `limit` bytes. Nothing, with why.
std::optional<std::string> ReadFileIn(Files& files, std::u16string_view directory, std::u16string_view name,
                                      std::uint64_t limit, std::u16string& reason);

// ---- Windows services, as the service manager reports them.

struct ServiceState {
    bool asked = false;     // the service manager answered
    bool exists = false;
    bool disabled = false;  // its start type is Disabled
    bool running = false;
    std::u16string reason;  // when not asked
};

class SystemServices {
public:
    virtual ~SystemServices() = default;
    virtual ServiceState QueryService(std::u16string_view name) = 0;
    // Starts the service and waits until it runs, `timeoutMilliseconds` at
    // most; false with the reason when it does not run by then.
    virtual bool StartAndWait(std::u16string_view name, std::uint32_t timeoutMilliseconds, std::u16string& reason) = 0;
};

// ---- The Application event log, where administrators and their log
// collectors look for each unattended run's verdict.

enum class EventType { Information, Error };

class EventLog {
public:
    virtual ~EventLog() = default;
    // Writes one event of the source "PortSetup", with `text` as its one
    // insertion string. An event that cannot be written is let go: false,
    // and nothing else changes.
    virtual bool WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) = 0;
};

// ---- All of them, for the console program's runs.

struct Seams {
    System& machine;
    Printers& printers;
    Processes& processes;
    Files& files;
    AnsiRegistry& registry;
    EventLog& events;
    SystemServices& services;
};

}  // namespace platform
