#include "setup/Status.h"

#include "setup/CommandRuns.h"
#include "setup/DefaultPrinter.h"
#include "setup/DriverStore.h"
#include "setup/PreChecks.h"
#include "setup/SerialSettings.h"
#include "setup/Text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace setup {

std::vector<std::u16string> PresentComPorts(const std::vector<std::u16string>& serialPorts) {
    std::vector<std::uint64_t> numbers;
    for (const auto& name : serialPorts)
        if (const auto number = ComPortNumber(name)) numbers.push_back(*number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::u16string> ports;
    ports.reserve(numbers.size());
    for (std::uint64_t n : numbers) ports.push_back(u"COM" + Number(n));
    return ports;
}

platform::NameList ListPresentComPorts(platform::System& machine) {
    platform::NameList serial = machine.ListSerialCommPorts();
    if (serial.listed) serial.names = PresentComPorts(serial.names);
    return serial;
}

std::u16string AbsentPortWarning(const Port& port, const std::vector<std::u16string>& present) {
    if (std::find(present.begin(), present.end(), port.Name()) != present.end()) return {};
    return port.Name() + u" is not present on this machine; present: " + (present.empty() ? u"none" : CommaList(present));
}

namespace {

bool Live(const platform::PrinterInfo& printer, const platform::NameList& liveUsbPorts) {
    return std::find(liveUsbPorts.names.begin(), liveUsbPorts.names.end(), printer.port) != liveUsbPorts.names.end();
}

}  // namespace

std::vector<const platform::PrinterInfo*> StaleUsbQueues(const std::vector<platform::PrinterInfo>& printers,
                                                         const platform::NameList& liveUsbPorts, const Product& product) {
    std::vector<const platform::PrinterInfo*> stale;
    if (!liveUsbPorts.listed) return stale;
    for (const auto& printer : printers) {
        const auto port = Port::OfPrinter(printer.port);
        if (printer.driver == product.driverName && port && port->IsUsb() && !Live(printer, liveUsbPorts))
            stale.push_back(&printer);
    }
    return stale;
}

const platform::PrinterInfo* OurPrinterIn(const std::vector<platform::PrinterInfo>& printers, std::u16string& note,
                                          const Product& product, const platform::NameList& liveUsbPorts) {
    note.clear();
    std::vector<const platform::PrinterInfo*> usb;
    for (const auto& printer : printers) {
        if (printer.name == product.printerName) {
            if (printer.driver == product.driverName) return &printer;
            note = u"the printer " + Quoted(product.printerName) + u" uses the driver " + Quoted(printer.driver) +
                   u", not ours";
        }
        const auto port = Port::OfPrinter(printer.port);
        if (printer.driver == product.driverName && port && port->IsUsb()) usb.push_back(&printer);
    }
    if (usb.empty()) return nullptr;
    // The queue whose USB printer is plugged in: Plug and Play makes another
    // queue ("... (Copy 1)") on a new port when the printer moves to another
    // jack, and the first stays on a port with no device.
    const auto live = std::count_if(usb.begin(), usb.end(), [&](const auto* p) { return Live(*p, liveUsbPorts); });
    if (live > 0 && static_cast<std::size_t>(live) < usb.size()) {
        std::vector<std::u16string> stale;
        for (const auto* printer : usb)
            if (!Live(*printer, liveUsbPorts)) stale.push_back(Quoted(printer->name) + u" on " + printer->port);
        usb.erase(std::remove_if(usb.begin(), usb.end(), [&](const auto* p) { return !Live(*p, liveUsbPorts); }),
                  usb.end());
        std::sort(usb.begin(), usb.end(), [](const auto* a, const auto* b) { return a->name < b->name; });
        note = Quoted(usb.front()->name) + u" is taken: its USB printer is plugged in (" + usb.front()->port +
               u"); not " + CommaList(stale) + u", whose printer is not";
        return usb.front();
    }
    std::sort(usb.begin(), usb.end(), [](const auto* a, const auto* b) { return a->name < b->name; });
    if (usb.size() > 1) {
        std::vector<std::u16string> names;
        names.reserve(usb.size());
        for (const auto* printer : usb) names.push_back(Quoted(printer->name) + u" on " + printer->port);
        note = Number(usb.size()) + u" printers of the driver are on USB ports (" + CommaList(names) + u"); " +
               Quoted(usb.front()->name) + u", the first by name, is taken";
    } else {
        note.clear();
    }
    return usb.front();
}

OurPrinterLookup FindOurPrinter(platform::Printers& printers, const Product& product, platform::System* machine) {
    OurPrinterLookup found;
    const platform::PrinterLookup named = printers.FindPrinter(product.printerName);
    if (!named.asked) {
        found.reason = named.reason;
        return found;
    }
    if (named.found && named.printer.driver == product.driverName) {
        found.asked = true;
        found.printer = named.printer;
        return found;
    }
    const platform::PrinterInfoList local = printers.ListLocalPrinters();
    if (!local.listed) {
        found.reason = local.reason;
        return found;
    }
    found.asked = true;
    const platform::NameList live = machine ? machine->ListPresentUsbPrintPorts() : platform::NameList{};
    if (const auto* printer = OurPrinterIn(local.printers, found.note, product, live)) found.printer = *printer;
    return found;
}

std::u16string NoPrinterOfOurs(const OurPrinterLookup& ours, const Product& product) {
    return u"No printer of the driver " + Quoted(product.driverName) + u" is installed on this machine yet (not " +
           Quoted(product.printerName) + u", nor a USB printer's queue)" + (ours.note.empty() ? u"" : u"; " + ours.note);
}

namespace {

// The Ports values of COM1 to COM4, and of the COM ports the product's
// printers use or that were asked about.
std::vector<InstallationStatus::PortValue> PortValues(const InstallationStatus& status,
                                                      const std::optional<Port>& askedPort, Services& s) {
    std::vector<std::uint32_t> numbers = {1, 2, 3, 4};
    auto add = [&](const std::optional<Port>& port) {
        if (port && !port->IsUsb()) numbers.push_back(port->ComNumber());
    };
    for (const auto& printer : status.printers) add(Port::OfPrinter(printer.port));
    add(askedPort);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<InstallationStatus::PortValue> values;
    for (std::uint32_t number : numbers) {
        InstallationStatus::PortValue value{*Port::Com(number), std::nullopt};
        std::u16string text;
        if (ReadPortSettings(s.registry, value.port.PrintSystemName(), text) == platform::kErrorSuccess)
            value.settings = text;
        values.push_back(std::move(value));
    }
    return values;
}

}  // namespace

InstallationStatus QueryStatus(Services s, const std::optional<Port>& askedPort,
                               const std::optional<platform::PortDeviceList>& devices) {
    InstallationStatus status;
    const platform::NameList drivers = s.printers.ListPrinterDrivers();
    const platform::PrinterInfoList printers = s.printers.ListPrinterDetails();
    if (!drivers.listed || !printers.listed) {
        status.reason = !drivers.listed ? drivers.reason : printers.reason;
        return status;
    }
    status.listed = true;
    status.driverInstalled = DriverInstalled(drivers, s.product);
    status.defaultPrinter = s.printers.DefaultPrinter();
    status.account = s.machine.RunningAccountName();
    status.windowsManagesDefault = WindowsManagesDefault(s.registry);
    for (const auto& printer : printers.printers)
        if (printer.driver == s.product.driverName)
            status.printers.push_back({printer.name, printer.port, printer.name == status.defaultPrinter});
    // Which USB printers are plugged in is asked only where a queue of ours is
    // on a USB port: a COM port's detection, run every hour, does not pay it.
    const bool onUsb = std::any_of(status.printers.begin(), status.printers.end(), [](const auto& printer) {
        const auto port = Port::OfPrinter(printer.port);
        return port && port->IsUsb();
    });
    const platform::NameList live = onUsb ? s.machine.ListPresentUsbPrintPorts() : platform::NameList{};
    if (const auto* ours = OurPrinterIn(printers.printers, status.ourPrinterNote, s.product, live))
        status.ourPrinter = ours->name;
    for (const auto* stale : StaleUsbQueues(printers.printers, live, s.product))
        status.staleQueues.push_back(stale->name + u" on " + stale->port);
    status.presentComPorts = ListPresentComPorts(s.machine);
    status.portDevices = devices ? *devices : s.machine.ListPortDevices();
    status.driverPackages = FindOurPackages(s.machine, s.product);
    // COM1 to COM4 always, as the window offers them; others where used or asked.
    status.ports = PortValues(status, askedPort, s);
    for (const auto& printer : status.printers) {
        const auto port = Port::OfPrinter(printer.port);
        if (!port || port->IsUsb()) continue;
        for (const auto& value : status.ports)
            if (value.port == *port && value.settings)
                if (auto refused = UartCannotApply(*value.settings))
                    status.warnings.push_back(port->PrintSystemName() + u" (" + Quoted(printer.name) + u"): " + *refused);
    }
    return status;
}

void ReadVersions(InstallationStatus& status, Services s, std::u16string_view packageDirectory) {
    if (status.driverInstalled) status.driverVersion = s.printers.DriverVersion(s.product.driverName);
    std::u16string unread;
    if (const auto inf = platform::ReadFileIn(s.files, packageDirectory, s.product.InfName(), 4u << 20, unread))
        status.packageVersion =
            VersionOfDriverVer(ReadInf(*inf, s.machine.NativeProcessor(), s.product.model).driverVer);
}

std::u16string VersionOfDriverVer(std::u16string_view driverVer) {
    const std::size_t comma = driverVer.find(u',');
    std::u16string version(comma == std::u16string_view::npos ? u"" : driverVer.substr(comma + 1));
    while (!version.empty() && version.front() == u' ') version.erase(0, 1);
    return version;
}

namespace {

std::optional<std::array<std::uint32_t, 4>> VersionParts(std::u16string_view text) {
    std::array<std::uint32_t, 4> parts{};
    std::size_t part = 0;
    bool digit = false;
    for (char16_t c : text) {
        if (c == u'.' && digit && part < 3) {
            ++part;
            digit = false;
        } else if (c >= u'0' && c <= u'9' && parts[part] < 100000) {
            parts[part] = parts[part] * 10 + static_cast<std::uint32_t>(c - u'0');
            digit = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit) return std::nullopt;
    return parts;
}

}  // namespace

bool OlderVersion(std::u16string_view a, std::u16string_view b) {
    const auto left = VersionParts(a), right = VersionParts(b);
    return left && right && *left < *right;
}

bool IsDriverVersion(std::u16string_view text) {
    const auto parts = VersionParts(text);
    return parts && std::all_of(parts->begin(), parts->end(), [](std::uint32_t part) { return part <= 0xFFFF; });
}

std::optional<std::u16string> BelowVersion(const InstallationStatus& status, std::u16string_view minimum) {
    if (!status.driverInstalled) return std::nullopt;  // said already: the driver is not installed
    // A version that cannot be read is no proof of the new driver: a
    // detection must install rather than take an old one for it.
    if (!VersionParts(status.driverVersion))
        return u"the installed driver's version is unknown (at least " + std::u16string(minimum) + u" is asked)";
    if (OlderVersion(status.driverVersion, minimum))
        return u"the installed driver (version " + status.driverVersion + u") is older than " + std::u16string(minimum);
    return std::nullopt;
}

std::vector<std::u16string> NotAsAsked(const InstallationStatus& status, const std::optional<Port>& port,
                                       const std::optional<std::u16string>& portSettings, bool countDefault,
                                       const Product& product) {
    if (!status.listed) return {u"the print system could not be asked"};
    std::vector<std::u16string> missing;
    if (!status.driverInstalled) missing.push_back(u"the printer driver " + Quoted(product.driverName) + u" is not installed");
    // The machine's state only, unless asked: a deployment system detects
    // as SYSTEM, whose default printer anything may change. Asked, with a
    // port or without, our printer (the one on the port asked, or the one
    // taken as ours) must be the running account's default.
    const bool com = port && !port->IsUsb();
    const auto checkDefault = [&] {
        const std::u16string ours = com ? std::u16string(product.printerName) : status.ourPrinter;
        if (countDefault && (ours.empty() || status.defaultPrinter != ours))
            missing.push_back(Quoted(ours.empty() ? product.printerName : ours) + u" is not the default printer");
    };
    if (!com) {
        checkDefault();
        return missing;
    }
    const std::u16string portName = port->PrintSystemName();
    const auto printer = std::find_if(status.printers.begin(), status.printers.end(),
                                      [&](const InstallationStatus::Printer& p) { return p.name == product.printerName; });
    if (printer == status.printers.end())
        missing.push_back(u"no printer " + Quoted(product.printerName) + u" uses the driver");
    else if (printer->port != portName)
        missing.push_back(u"the printer " + Quoted(product.printerName) + u" is on " + printer->port + u", not " + portName);
    checkDefault();
    const auto stored = std::find_if(status.ports.begin(), status.ports.end(),
                                     [&](const auto& value) { return value.port == *port; });
    if (stored != status.ports.end()) {
        const auto& value = stored->settings;
        if (!value) missing.push_back(u"no settings are stored for " + portName);
        else if (portSettings && *value != *portSettings)
            missing.push_back(u"the settings of " + portName + u" are " + *value + u", not " + *portSettings);
    }
    return missing;
}

}  // namespace setup
