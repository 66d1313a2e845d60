// The status: the driver, the printers that use it, the running user's
// default printer, the COM ports' settings and the ports this machine has,
// the driver's version and the package's; and what of it is not as an
// install would leave it. Read without changing anything.
#pragma once

#include "platform/Seams.h"
#include "setup/Port.h"
#include "setup/Services.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

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
    // The queues of the driver on USB ports whose printer is not plugged in
    // ("KALDO QTX_VELTRO on USB001"): left by a printer moved to another
    // jack; nothing is deleted for them.
    std::vector<std::u16string> staleQueues;
    // The Ports values of COM1: to COM4: and of any other COM port that a
    // printer of the driver uses or that was asked about, in the order of
    // their numbers; nothing where there is none or it cannot be read.
    struct PortValue {
        Port port;
        std::optional<std::u16string> settings;
    };
    std::vector<PortValue> ports;
    // What would keep a printer of the driver from printing though it is
    // installed as asked: its COM port's stored settings that Windows'
    // standard serial port cannot apply. One text each.
    std::vector<std::u16string> warnings;
    // The COM ports present on this machine ("COM1", "COM3"), as Windows
    // numbers them; not listed when they cannot be read.
    platform::NameList presentComPorts;
    // The devices behind them (Device Manager's Ports class): not listed,
    // with why, when they cannot be read.
    platform::PortDeviceList portDevices;
    // The product's driver package in the driver store: its published INFs
    // ("oem5.inf"); not listed when the store cannot be read.
    platform::NameList driverPackages;
    // The installed driver's version, and the package's (its INF's
    // DriverVer); empty where unknown.
    std::u16string driverVersion;
    std::u16string packageVersion;
};

// The status as the account that runs sees it; `askedPort` has its Ports
// value read too.
// The devices of the COM ports are listed unless given.
InstallationStatus QueryStatus(Services services, const std::optional<Port>& askedPort = std::nullopt,
                               const std::optional<platform::PortDeviceList>& devices = std::nullopt);
// The installed driver's version and the package's in `packageDirectory`
// (its INF's DriverVer), into `status`.
void ReadVersions(InstallationStatus& status, Services services, std::u16string_view packageDirectory);

// What is not as an install would leave it, or nothing: the driver is
// installed, and for a COM port the product's printer uses it on that port,
// and the port has a Ports value (the one asked, when given); with
// `countDefault`, the printer is also the running user's default.
std::vector<std::u16string> NotAsAsked(const InstallationStatus& status, const std::optional<Port>& port,
                                       const std::optional<std::u16string>& portSettings, bool countDefault,
                                       const Product& product);

// The version part of an INF's DriverVer ("06/21/2024,1.2.3.4" -> "1.2.3.4").
std::u16string VersionOfDriverVer(std::u16string_view driverVer);
// Whether version `a` ("1.2.3.4") is older than `b`; false when either is not a version.
bool OlderVersion(std::u16string_view a, std::u16string_view b);
// Whether `text` is a driver version: one to four numbers from 0 to 65535, with dots between.
bool IsDriverVersion(std::u16string_view text);
// Why the installed driver is not at least version `minimum`: it is older,
// or its version is unknown; nothing when it is, or when no driver is
// installed (NotAsAsked says that).
std::optional<std::u16string> BelowVersion(const InstallationStatus& status, std::u16string_view minimum);

// The printer that is ours among `printers`: the one named the product's
// printer when it uses the product's driver; otherwise the one of that
// driver on a USB port, the queue Plug and Play makes and names after the
// model (of several, the first by name, and `note` says so). Nothing when
// there is none; then `note` names a printer of our name that uses another
// driver.
// Of several on USB ports, those whose USB printer is plugged in
// (`liveUsbPorts`, when listed) come first: the others are stale queues.
const platform::PrinterInfo* OurPrinterIn(const std::vector<platform::PrinterInfo>& printers, std::u16string& note,
                                          const Product& product, const platform::NameList& liveUsbPorts = {});
// The printers of the product's driver on USB ports whose printer is not
// plugged in; none when the plugged-in ports are not known.
std::vector<const platform::PrinterInfo*> StaleUsbQueues(const std::vector<platform::PrinterInfo>& printers,
                                                         const platform::NameList& liveUsbPorts, const Product& product);
// The same asked of the print system: by name first, which asks no print
// server, then the local printers' listing.
struct OurPrinterLookup {
    bool asked = false;
    std::u16string reason;  // when not asked
    std::optional<platform::PrinterInfo> printer;
    std::u16string note;
};
// With `machine`, the USB printers plugged in are asked too (OurPrinterIn).
OurPrinterLookup FindOurPrinter(platform::Printers& printers, const Product& product,
                                platform::System* machine = nullptr);
// Why no printer is taken as ours.
std::u16string NoPrinterOfOurs(const OurPrinterLookup& ours, const Product& product);

// The COM ports among the serial ports Windows lists: each "COMn" once, in
// the order of n; other names are left out.
std::vector<std::u16string> PresentComPorts(const std::vector<std::u16string>& serialPorts);
// The present COM ports of this machine, read from the system.
platform::NameList ListPresentComPorts(platform::System& machine);
// The warning for installing on `port` when it is not among `present`
// ("COM3 is not present on this machine; present: COM1, COM4"); empty when it is.
std::u16string AbsentPortWarning(const Port& port, const std::vector<std::u16string>& present);

}  // namespace setup
