// What the console program does: installation, removal and the user's
// default printer, the printer setup commands each waited for, with the
// print system asked afterwards whether they worked; and the status, read
// without changing anything.
#pragma once

#include "platform/Seams.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// Exit codes, the ones deployment systems already interpret.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotAdministrator = 5;   // ERROR_ACCESS_DENIED
inline constexpr int kExitTimedOut = 1460;        // ERROR_TIMEOUT
inline constexpr int kExitAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING: try again later

inline constexpr std::uint32_t kDefaultCommandTimeoutMilliseconds = 300000;
inline constexpr std::uint32_t kDefaultSetTimeoutMilliseconds = 30000;

struct Verdict {
    int exitCode = kExitDone;
    std::u16string message;  // what failed, and the system's reason; empty when done

    bool failed() const { return exitCode != kExitDone; }
};

// Where an unattended run tells what it does, one line a step, as it happens.
class Journal {
public:
    virtual ~Journal() = default;
    virtual void Step(std::u16string_view line) = 0;
};

// The machine's services and the run's journal.
struct Services {
    Services(const platform::Seams& seams, Journal& journal)
        : machine(seams.machine), printers(seams.printers), processes(seams.processes), files(seams.files),
          registry(seams.registry), journal(journal) {}
    platform::Machine& machine;
    platform::Printers& printers;
    platform::Processes& processes;
    platform::Files& files;
    platform::AnsiRegistry& registry;
    Journal& journal;
};

struct UnattendedInstallRequest {
    bool usb = false;
    std::u16string portName;          // "COM3:"; empty for USB
    std::u16string portSettings;      // stored as the COM port's Ports value
    std::u16string packageDirectory;  // the folder of the INF file
    bool packageCopied = false;       // a protected copy of a package others could change
    std::uint32_t timeoutMilliseconds = kDefaultCommandTimeoutMilliseconds;  // for each command
    // Store the port ("COM3", "USB") and, for a COM port, the settings as the
    // package's choice once the installation is done.
    bool rememberChoice = false;
    std::u16string portArgument;  // "COM3" or "USB", as stored
};

// Where the package's choice is stored: the values "Port" and "Settings"
// under HKEY_LOCAL_MACHINE, which the next upgrade or repair reads back.
inline constexpr std::u16string_view kChoiceKey = u"SOFTWARE\\PortSetup";

// Installs the driver (and for a COM port the printer), makes the printer
// the running user's default, stores the port's settings and, when asked,
// the choice; each step checked, and left alone when it is already as asked.
Verdict InstallUnattended(const UnattendedInstallRequest& request, Services services);
// Removes every printer whose driver, as the print system reports it, is
// DriverModel, then the driver.
Verdict RemoveUnattended(std::uint32_t timeoutMilliseconds, Services services);

// The running user's printer settings: "Device" names the default printer;
// LegacyDefaultPrinterMode 1 (REG_DWORD) keeps Windows 10 and 11 from
// replacing it with the printer last used.
inline constexpr std::u16string_view kUserWindowsKey = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr std::u16string_view kLegacyDefaultPrinterMode = u"LegacyDefaultPrinterMode";

// Makes PrinterName the running user's default printer, and keeps Windows
// from managing it; needs no administrator rights and writes only the
// user's own keys. Nothing is changed when the printer is not installed.
// The whole run stays within `timeoutMilliseconds`; a command that does not
// end in that time fails the run.
Verdict SetDefaultForUser(std::uint32_t timeoutMilliseconds, Services services);

// A test print: a short page (the tool, the port and its stored settings,
// the time) sent to PrinterName as a RAW job, then watched until it has left
// the queue (done) or the time is up (failed, with the job's status and the
// port's settings, since wrong line settings and a loose cable are the usual
// causes).
inline constexpr std::uint32_t kDefaultTestPrintMilliseconds = 60000;
Verdict TestPrint(std::uint32_t timeoutMilliseconds, Services services);
// The job status bits as words: "offline, paper out".
std::u16string JobStatusText(std::uint32_t status);
// Whether Windows manages the running user's default printer: its
// LegacyDefaultPrinterMode is not 1.
bool WindowsManagesDefault(platform::AnsiRegistry& registry);

// ---- The status: the driver, the printers that use it, the running user's
// default printer, the COM ports' settings and the ports this machine has;
// and what of it is not as an install would leave it.

struct InstallationStatus {
    bool listed = false;     // false: the print system could not be asked
    std::u16string reason;   // then why
    bool driverInstalled = false;
    struct Printer {
        std::u16string name;
        std::u16string port;
        bool isDefault = false;
    };
    std::vector<Printer> printers;  // those that use the driver
    std::u16string defaultPrinter;  // the running user's
    std::u16string account;         // the account the status is read as
    bool windowsManagesDefault = true;
    // The printer taken as ours (see OurPrinterIn); empty when none is.
    std::u16string ourPrinter;
    std::u16string ourPrinterNote;
    // The Ports values of COM1: to COM4: and of any other COM port that a
    // printer of the driver uses or that was asked about, in the order of
    // their numbers; nothing where there is none or it cannot be read.
    struct PortValue {
        std::u16string port;  // "COM7"
        std::optional<std::u16string> settings;
    };
    std::vector<PortValue> ports;
    // The COM ports present on this machine ("COM1", "COM3"), as Windows
    // numbers them; not listed when they cannot be read.
    platform::NameList presentComPorts;
    // The installed driver's version, and the package's (its INF's
    // DriverVer); empty where unknown.
    std::u16string driverVersion;
    std::u16string packageVersion;
};

// The version part of an INF's DriverVer ("06/21/2024,1.2.3.4" -> "1.2.3.4").
std::u16string VersionOfDriverVer(std::u16string_view driverVer);
// Whether version `a` ("1.2.3.4") is older than `b`; false when either is not a version.
bool OlderVersion(std::u16string_view a, std::u16string_view b);

// The printer that is ours among `printers`: the one named PrinterName when
// it uses DriverModel; otherwise the one of DriverModel on a USB port, the
// queue Plug and Play makes and names after the model (of several, the first
// by name, and `note` says so). Nothing when there is none; then `note`
// names a printer of our name that uses another driver.
const platform::PrinterInfo* OurPrinterIn(const std::vector<platform::PrinterInfo>& printers, std::u16string& note);
// The same asked of the print system: by name first, which asks no print
// server, then the local printers' listing.
struct OurPrinterLookup {
    bool asked = false;
    std::u16string reason;  // when not asked
    std::optional<platform::PrinterInfo> printer;
    std::u16string note;
};
OurPrinterLookup FindOurPrinter(platform::Printers& printers);

// `askedPort` ("COM7", or empty) has its Ports value read too.
InstallationStatus QueryStatus(Services services, std::u16string_view askedPort = {});
// What is not as an install would leave it, or nothing: the driver is
// installed, and for a COM port ("COM3:") the printer PrinterName uses it on
// that port, and the port has a Ports value (the one asked, when given);
// with `countDefault`, the printer is also the running user's default.
std::vector<std::u16string> NotAsAsked(const InstallationStatus& status, std::u16string_view portName,
                                       const std::optional<std::u16string>& portSettings, bool countDefault);

// The COM ports among the serial ports Windows lists: each "COMn" once, in
// the order of n; other names are left out.
std::vector<std::u16string> PresentComPorts(const std::vector<std::u16string>& serialPorts);
// The present COM ports of this machine, read from the system.
platform::NameList ListPresentComPorts(platform::Machine& machine);
// The warning for installing on `port` ("COM3") when it is not among
// `present` ("COM3 is not present on this machine; present: COM1, COM4");
// empty when it is.
std::u16string AbsentPortWarning(std::u16string_view port, const std::vector<std::u16string>& present);

}  // namespace setup
