// A platform stand-in for host tests. It records every start, wait, listing
// and sleep in one ordered log, and keeps a small print system with the rules
// Windows' print spooler keeps: started commands run for a time the test sets
// (or never end), take effect when they end, a printer name cannot be added
// twice, and a driver that a printer still uses cannot be deleted. Time is virtual: waits and sleeps advance it.
#pragma once

#include "platform/Seams.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

class RecordingPlatform : public platform::System,
                          public platform::Printers,
                          public platform::Processes,
                          public platform::Files,
                          public platform::EventLog,
                          public platform::SystemServices {
public:
    struct Event {
        enum class Kind { Start, Wait, Sleep, ListPrinters, ListPrinterDetails, ListPrinterDrivers, FindPrinter, StartService } kind;
        std::u16string program;          // Start: the system program run; FindPrinter: the name
        std::u16string commandLine;      // Start: its command line
        std::uint32_t milliseconds = 0;  // Sleep: its time; Wait: its time limit
        std::size_t processes = 0;       // Wait: how many processes it waited for
        std::uint64_t at = 0;            // virtual time when it happened
    };

    // How a started command ended, once it has.
    struct Ended {
        std::u16string commandLine;
        std::uint64_t startedAt = 0;
        std::uint64_t endedAt = 0;
        std::string outcome;  // "done", "refused" or "failed"; the driver store tool's "exit N"
    };

    platform::TwipSize screen{15360, 11520};  // 1024 x 768 at 96 DPI
    std::u16string arguments;
    std::u16string programDirectory = u"C:\\Setup";

    // The print system: printers in listing order with their drivers as the
    // print system sees them, and the installed driver models.
    std::vector<std::u16string> printers;
    std::map<std::u16string, std::u16string> printerDrivers;
    // USB printers plugged in before their driver was there (problem code
    // 28), by their model: the driver store tool's install gives each its
    // queue, named after the model, on its own USB port.
    std::vector<std::u16string> devicesWithoutDriver;
    bool driverStoreNeedsRestart = false;
    std::map<std::u16string, std::u16string> printerPorts;
    // Printers that are connections to a print server's queues ("\\\\srv\\q"):
    // listed with the local ones by ListPrinterDetails, not by ListLocalPrinters.
    std::set<std::u16string> printerConnections;
    std::vector<std::u16string> drivers;
    std::u16string defaultPrinter;
    // Jobs queued per printer: a delete of a printer with jobs only marks it
    // (it stays listed, as DeletePrinter leaves it), until they are purged.
    std::map<std::u16string, int> queuedJobs;
    std::set<std::u16string> deletePending;
    std::optional<std::u16string> purgeFails;  // the reason, when purging fails
    std::vector<std::u16string> purged;        // the printers purged, in order
    // The data of the SERIALCOMM values, in the registry's order; when
    // reading them fails, the reason.
    std::vector<std::u16string> serialComm;
    std::optional<std::u16string> serialCommFails;
    // When set, the listing fails with this reason.
    std::optional<std::u16string> printerListingFails;
    std::optional<std::u16string> driverListingFails;
    // When set, every listing from the n-th on (1 is the first; printers,
    // their details and drivers alike) fails, as a print system that stops
    // answering midway.
    std::optional<std::size_t> listingsFailFrom;
    std::size_t listings = 0;  // listings asked so far

    // How long a started command runs, in ms; nothing for one that never ends.
    std::function<std::optional<std::uint32_t>(std::u16string_view commandLine)> runTime =
        [](std::u16string_view) -> std::optional<std::uint32_t> { return 0; };
    // When set, the start with this zero-based number fails with error 2.
    std::optional<std::size_t> failStartNumber;
    // When it says so for a command line, that command fails and changes nothing.
    std::function<bool(std::u16string_view commandLine)> failsOnPurpose;
    // Called at every wait, as the window's messages would be handled then.
    std::function<void()> duringWait;

    // The machine of unattended runs: files by full path (an installation
    // needs its INF file), the caller's rights, another run's claim.
    std::map<std::u16string, std::string> files{{u"C:\\Setup\\PRT3Q42WD32.inf", "[Version]"}};
    bool administrator = true;
    bool anotherRunActive = false;  // holds every "...\PortSetupCli.lock"
    bool filesWritable = true;
    // As Wine does: a link opened as a folder gives its target, so only the
    // caller's own look at the entry keeps a link from being used.
    bool foldersOpenThroughLinks = false;

    // Folders, and files that are more than their content: owner, access,
    // links, a reparse point. A redirected file's appends land in `target`,
    // as they do when a link is followed. A path missing here that `files`
    // holds is a plain file of the running user with no entries of its own.
    struct Node {
        bool directory = true;
        bool redirected = false;
        std::u16string target;  // a redirected file's target in `files`
        std::uint32_t links = 1;
        std::u16string owner = u"S-1-5-18";
        bool nullDacl = false;
        std::vector<platform::AccessEntry> access;
        std::u16string descriptor;  // the SDDL it was created or protected with
    };
    std::map<std::u16string, Node> nodes;
    std::u16string runningUser = u"S-1-5-18";
    std::u16string runningAccount = u"NT AUTHORITY\\SYSTEM";
    // Locks other processes hold, and the ones this run holds.
    std::set<std::u16string> locksHeldElsewhere;
    std::set<std::u16string> locksHeld;
    std::map<std::u16string, std::u16string> lockDescriptors;  // as created
    // Folders another run creates just before this one asks to.
    std::set<std::u16string> foldersMadeMeanwhile;
    std::size_t appendOpens = 0;  // files opened for appending
    std::size_t lockTakes = 0;    // lock files taken
    bool renameFails = false;     // a reader holds the log open without sharing delete
    // Where the system has private namespaces (Windows; not Wine): the
    // single-run lock is a mutex there, held by `anotherRunActive` too.
    bool privateNamespaces = false;
    // The Print Spooler as the service manager reports it; a start makes it
    // run unless `spoolerStartFails`.
    platform::ServiceState spooler{true, true, false, true, {}};
    bool spoolerStartFails = false;
    std::u16string processor = u"amd64";
    std::map<std::u16string, std::u16string> busyComPorts;  // port -> why it cannot be opened
    // Paths that cannot be removed or moved (a process holds them open).
    std::set<std::u16string> removalFails;
    // Paths that are links the system opens the target of when asked for the
    // link itself (as Wine does): they can be neither moved nor removed.
    std::set<std::u16string> linksOpenedAsTarget;
    // What was done to files and folders, in order: "create-folder P",
    // "protect P", "take-over P", "remove P", "move A -> B", "copy A -> B",
    // "rename A -> B (log lock held)", "append P".
    std::vector<std::u16string> fileEvents;
    std::vector<std::u16string> reads;  // files read through a held folder, in order
    // Files as large as this, whatever their content here.
    std::map<std::u16string, std::uint64_t> fileSizes;

    // The Application event log's entries this run wrote; while
    // `eventLogFails`, none can be written.
    struct LoggedEvent {
        platform::EventType type;
        std::uint32_t id = 0;
        std::u16string text;
    };
    std::vector<LoggedEvent> eventLog;
    bool eventLogFails = false;

    std::vector<Event> events;
    std::vector<Ended> ended;
    std::uint64_t now = 0;  // virtual milliseconds

    platform::TwipSize ScreenSize() override { return screen; }
    std::u16string CommandLineArguments() override { return arguments; }
    std::u16string ProgramDirectory() override { return programDirectory; }
    platform::StartResult RunDetached(std::u16string_view program, std::u16string_view commandLine) override;
    platform::WaitResult WaitForProcesses(const std::vector<platform::StartedProcess>& processes,
                                          std::uint32_t timeoutMilliseconds) override;
    platform::NameList ListPrinters() override;
    platform::NameList ListPrinterDrivers() override;
    void Sleep(std::uint32_t milliseconds) override;
    bool WriteEventLog(platform::EventType type, std::uint32_t eventId, std::u16string_view text) override {
        if (eventLogFails) return false;
        eventLog.push_back({type, eventId, std::u16string(text)});
        return true;
    }

    platform::PrinterInfoList ListPrinterDetails() override;
    // It keeps no printer connections: all its printers are local.
    platform::PrinterInfoList ListLocalPrinters() override;
    platform::PrinterLookup FindPrinter(std::u16string_view name) override;
    std::uint32_t findPrinterTakes = 0;  // how long the print system takes to answer FindPrinter
    std::u16string NativeProcessor() override { return processor; }
    std::u16string programProcessor = u"amd64";
    std::u16string ProgramProcessor() override { return programProcessor; }
    // Print jobs: each prints (leaves the queue) `jobPrintsAfter` ms after
    // it was sent, or never; queued, it shows `jobStatus`. The print system
    // takes a page at once, or, with `pageTakenAfter`, only after that many
    // ms; `pageRefused` makes it refuse the page (the job is aborted).
    struct Job {
        std::u16string printer;
        std::string bytes;
        std::uint64_t sentAt = 0;
        bool cancelled = false;
    };
    std::map<std::uint32_t, Job> jobs;
    std::optional<std::uint32_t> jobPrintsAfter = 1500;
    std::uint32_t jobStatus = 0x0010;  // printing
    std::optional<std::uint32_t> pageTakenAfter;
    std::u16string pageRefused;
    std::u16string jobStatusFails;  // JobStatus's reason, when set
    bool cancelFails = false;
    platform::SentJob PrintRaw(std::u16string_view printer, std::u16string_view, std::string_view bytes,
                               std::uint32_t timeoutMilliseconds) override {
        if (std::find(printers.begin(), printers.end(), std::u16string(printer)) == printers.end())
            return {0, false, u"The printer name is invalid."};
        const auto id = static_cast<std::uint32_t>(jobs.size() + 1);
        jobs[id] = {std::u16string(printer), std::string(bytes), now};
        if (!pageRefused.empty()) {
            jobs[id].cancelled = true;
            return {id, false, pageRefused};
        }
        if (pageTakenAfter && *pageTakenAfter >= timeoutMilliseconds) {
            now += timeoutMilliseconds;
            return {id, false, {}};
        }
        if (pageTakenAfter) now += *pageTakenAfter;
        return {id, true, {}};
    }
    std::optional<std::uint32_t> JobStatus(std::u16string_view, std::uint32_t job, std::u16string& reason) override {
        if (!jobStatusFails.empty()) {
            reason = jobStatusFails;
            return std::nullopt;
        }
        const auto found = jobs.find(job);
        if (found == jobs.end() || found->second.cancelled ||
            (jobPrintsAfter && now >= found->second.sentAt + *jobPrintsAfter))
            return std::nullopt;
        return jobStatus;
    }
    bool CancelJob(std::u16string_view, std::uint32_t job, std::u16string& reason) override {
        const auto found = jobs.find(job);
        if (cancelFails || found == jobs.end()) {
            reason = u"The parameter is incorrect.";
            return false;
        }
        found->second.cancelled = true;
        return true;
    }
    std::map<std::u16string, std::u16string> driverVersions;  // model -> "1.2.3.4"
    std::u16string DriverVersion(std::u16string_view model) override {
        const auto found = driverVersions.find(std::u16string(model));
        return found == driverVersions.end() ? u"" : found->second;
    }
    CatalogTrust catalogTrust{CatalogTrust::State::Trusted, u"KALDO S.p.A."};
    // The files the catalog lists, by full path; all when unset.
    std::optional<std::set<std::u16string>> catalogMembers;
    std::vector<std::u16string> catalogAsked;  // the members last asked about
    CatalogTrust CatalogSignature(std::u16string_view, const std::vector<std::u16string>& members) override {
        catalogAsked = members;
        if (catalogTrust.state != CatalogTrust::State::Trusted) return catalogTrust;
        for (const auto& member : members)
            if (!files.count(member) || (catalogMembers && !catalogMembers->count(member)))
                return {CatalogTrust::State::NotMember, member};
        return catalogTrust;
    }
    std::optional<std::u16string> ComPortBusy(std::u16string_view port) override {
        const auto busy = busyComPorts.find(std::u16string(port));
        return busy == busyComPorts.end() ? std::nullopt : std::optional<std::u16string>(busy->second);
    }
    platform::ServiceState QueryService(std::u16string_view /*name*/) override { return spooler; }
    bool StartAndWait(std::u16string_view, std::uint32_t timeoutMilliseconds, std::u16string& reason) override {
        events.push_back({Event::Kind::StartService, u"Spooler", {}, timeoutMilliseconds, 0, now});
        if (spoolerStartFails || spooler.disabled) {
            now += timeoutMilliseconds;
            reason = u"it was started but did not run within 30 s";
            return false;
        }
        spooler.running = true;
        return true;
    }
    // Windows' driver store: each published INF's name ("oem5.inf") with the
    // INF it was published from (empty: Windows kept no record, and names
    // the published file itself) and what it holds. pnputil /add-driver
    // publishes the package, an identical one once, as Windows finds it
    // again; /delete-driver removes it, unless a device holds it.
    struct Published {
        std::u16string original;
        std::string bytes;
    };
    std::map<std::u16string, Published> publishedInfs;
    bool storeHeldByDevice = false;
    bool packageDeleteNeedsRestart = false;  // /delete-driver ends 3010
    std::optional<std::u16string> storeListingFails;
    platform::NameList ListPublishedInfs() override {
        if (storeListingFails) return {false, {}, *storeListingFails};
        platform::NameList list{true, {}, {}};
        for (const auto& entry : publishedInfs) list.names.push_back(entry.first);
        return list;
    }
    std::optional<std::string> PublishedInfBytes(std::u16string_view name, std::uint64_t limit,
                                                 std::u16string& reason) override {
        const auto found = publishedInfs.find(std::u16string(name));
        if (found == publishedInfs.end() || found->second.bytes.size() > limit) {
            reason = u"The system cannot find the file specified.";
            return std::nullopt;
        }
        return found->second.bytes;
    }
    std::optional<std::u16string> OriginalInfName(std::u16string_view name, std::u16string& reason) override {
        const auto found = publishedInfs.find(std::u16string(name));
        if (found == publishedInfs.end()) {
            reason = u"The system cannot find the file specified.";
            return std::nullopt;
        }
        return found->second.original.empty() ? std::u16string(name) : found->second.original;
    }
    // The present devices of the Ports class, and the USB printer ports
    // whose printer is plugged in.
    std::vector<platform::PortDevice> portDevices;
    std::optional<std::u16string> portDevicesFail;
    std::vector<std::u16string> presentUsbPrintPorts;
    platform::PortDeviceList ListPortDevices() override {
        if (portDevicesFail) return {false, {}, *portDevicesFail};
        return {true, portDevices, {}};
    }
    platform::NameList ListPresentUsbPrintPorts() override { return {true, presentUsbPrintPorts, {}}; }
    platform::NameList ListSerialCommPorts() override {
        if (serialCommFails) return {false, {}, *serialCommFails};
        return {true, serialComm, {}};
    }
    std::u16string DefaultPrinter() override { return defaultPrinter; }
    bool PurgePrintJobs(std::u16string_view printer, std::u16string& reason) override;
    std::optional<std::uint32_t> ExitCodeOf(const platform::StartedProcess& process) override;
    std::uint64_t Milliseconds() override { return now; }
    std::u16string LocalTimestamp() override { return u"2026-12-08T10:00:00+01:00"; }
    std::uint32_t ThreadId() override { return 4242; }
    bool FileExists(std::u16string_view path) override { return files.count(std::u16string(path)) != 0; }
    std::u16string FullPath(std::u16string_view path) override;
    bool IsAdministrator() override { return administrator; }
    std::u16string ProgramDataDirectory() override { return u"C:\\ProgramData"; }
    platform::PathFacts Examine(std::u16string_view path) override;
    std::u16string RunningUserSid() override { return runningUser; }
    std::u16string RunningAccountName() override { return runningAccount; }
    Opening OpenFolder(std::u16string_view path) override;
    platform::LockAttempt TakeAdministratorsLock(std::u16string_view name) override;
    // What the held folders do, by full path: the same rules as the system's.
    bool CreateFolderAt(const std::u16string& key, std::u16string_view descriptor, std::u16string& reason);
    bool RemoveAt(const std::u16string& key, std::u16string& reason);
    bool MoveAt(const std::u16string& from, const std::u16string& target, std::u16string& reason);
    std::vector<std::u16string> NamesIn(const std::u16string& path);
    platform::LockAttempt TakeLockAt(const std::u16string& key, std::u16string_view descriptor,
                                     std::uint32_t waitMilliseconds);
    std::unique_ptr<platform::AppendFile> OpenForAppendAt(const std::u16string& key, std::u16string& reason);
    // The file system's number for what is at `path`: another for what
    // replaces it.
    std::uint64_t IdOf(const std::u16string& path);
    // Called once, right after the folder at the key was first listed: what
    // a user swaps in between a listing and the open that follows.
    std::map<std::u16string, std::function<void()>> afterListing;
    // The entries of a DACL in SDDL, as the system makes them.
    static std::vector<platform::AccessEntry> AccessOf(std::u16string_view sddl);

    // Every seam of the machine, with `registry` as its registry.
    platform::Seams Seams(platform::AnsiRegistry& registry) {
        return {*this, *this, *this, *this, registry, *this, *this};
    }

    // Lets virtual time run until every started command that ends has ended.
    void RunToEnd();

    // The command lines started, in order.
    std::vector<std::u16string> Started() const;
    // The events of one kind, in order.
    std::vector<Event> EventsOf(Event::Kind kind) const;

private:
    struct Running {
        std::u16string commandLine;
        std::uint64_t startedAt = 0;
        std::optional<std::uint64_t> endsAt;
        bool done = false;
        std::uint32_t exitCode = 0;
    };
    struct Process;
    class File;
    class Lock;
    class Folder;
    std::map<std::u16string, std::uint64_t> ids_;
    std::uint64_t nextId_ = 1;

    // Carries out, in the order they end, the commands that end by `time`.
    void AdvanceTo(std::uint64_t time);
    // The reason the listing now asked fails, if it does.
    std::optional<std::u16string> ListingFailure(const std::optional<std::u16string>& fails);
    std::string CarryOut(const std::u16string& commandLine);
    void Publish(const std::u16string& inf);

    std::vector<Running> running_;
    std::size_t startAttempts_ = 0;
};


}  // namespace testing_support
