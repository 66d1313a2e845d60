#include "setup/Unattended.h"

#include "setup/CommandLines.h"
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

platform::NameList ListPresentComPorts(platform::Machine& machine) {
    platform::NameList serial = machine.ListSerialCommPorts();
    if (serial.listed) serial.names = PresentComPorts(serial.names);
    return serial;
}

std::u16string AbsentPortWarning(std::u16string_view port, const std::vector<std::u16string>& present) {
    if (std::find(present.begin(), present.end(), port) != present.end()) return {};
    return std::u16string(port) + u" is not present on this machine; present: " +
           (present.empty() ? u"none" : CommaList(present));
}

const platform::PrinterInfo* OurPrinterIn(const std::vector<platform::PrinterInfo>& printers, std::u16string& note) {
    note.clear();
    std::vector<const platform::PrinterInfo*> usb;
    for (const auto& printer : printers) {
        if (printer.name == PrinterName) {
            if (printer.driver == DriverModel) return &printer;
            note = u"the printer " + Quoted(PrinterName) + u" uses the driver " + Quoted(printer.driver) +
                   u", not ours";
        }
        const bool onUsb = printer.port.size() >= 3 && (printer.port[0] | 0x20) == u'u' &&
                           (printer.port[1] | 0x20) == u's' && (printer.port[2] | 0x20) == u'b';
        if (printer.driver == DriverModel && onUsb) usb.push_back(&printer);
    }
    if (usb.empty()) return nullptr;
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

OurPrinterLookup FindOurPrinter(platform::Printers& printers) {
    OurPrinterLookup found;
    const platform::PrinterLookup named = printers.FindPrinter(PrinterName);
    if (!named.asked) {
        found.reason = named.reason;
        return found;
    }
    if (named.found && named.printer.driver == DriverModel) {
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
    if (const auto* printer = OurPrinterIn(local.printers, found.note)) found.printer = *printer;
    return found;
}

InstallationStatus QueryStatus(Services s, std::u16string_view askedPort) {
    InstallationStatus status;
    const platform::NameList drivers = s.printers.ListPrinterDrivers();
    const platform::PrinterInfoList printers = s.printers.ListPrinterDetails();
    if (!drivers.listed || !printers.listed) {
        status.reason = !drivers.listed ? drivers.reason : printers.reason;
        return status;
    }
    status.listed = true;
    status.driverInstalled = std::find(drivers.names.begin(), drivers.names.end(), DriverModel) != drivers.names.end();
    status.defaultPrinter = s.printers.DefaultPrinter();
    status.account = s.machine.RunningAccountName();
    status.windowsManagesDefault = WindowsManagesDefault(s.registry);
    for (const auto& printer : printers.printers)
        if (printer.driver == DriverModel)
            status.printers.push_back({printer.name, printer.port, printer.name == status.defaultPrinter});
    if (const auto* ours = OurPrinterIn(printers.printers, status.ourPrinterNote)) status.ourPrinter = ours->name;
    status.presentComPorts = ListPresentComPorts(s.machine);
    // COM1 to COM4 always, as the window offers them; others where used or asked.
    std::vector<std::uint64_t> numbers = {1, 2, 3, 4};
    auto add = [&](std::u16string_view port) {
        if (const auto number = ComPortNumber(port)) numbers.push_back(*number);
    };
    for (const auto& printer : status.printers)
        if (!printer.port.empty() && printer.port.back() == u':') add(std::u16string_view(printer.port).substr(0, printer.port.size() - 1));
    add(askedPort);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (std::uint64_t number : numbers) {
        InstallationStatus::PortValue port{u"COM" + Number(number), std::nullopt};
        std::u16string value;
        if (ReadPortSettings(s.registry, port.port + u":", value) == platform::kErrorSuccess) port.settings = value;
        status.ports.push_back(std::move(port));
    }
    return status;
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

std::vector<std::u16string> NotAsAsked(const InstallationStatus& status, std::u16string_view portName,
                                       const std::optional<std::u16string>& portSettings, bool countDefault) {
    if (!status.listed) return {u"the print system could not be asked"};
    std::vector<std::u16string> missing;
    if (!status.driverInstalled) missing.push_back(u"the printer driver " + Quoted(DriverModel) + u" is not installed");
    if (portName.empty()) return missing;
    const auto printer = std::find_if(status.printers.begin(), status.printers.end(),
                                      [](const InstallationStatus::Printer& p) { return p.name == PrinterName; });
    if (printer == status.printers.end())
        missing.push_back(u"no printer " + Quoted(PrinterName) + u" uses the driver");
    else if (printer->port != portName)
        missing.push_back(u"the printer " + Quoted(PrinterName) + u" is on " + printer->port + u", not " +
                          std::u16string(portName));
    // The machine's state only, unless asked: a deployment system detects
    // as SYSTEM, whose default printer anything may change.
    if (countDefault && status.defaultPrinter != PrinterName)
        missing.push_back(Quoted(PrinterName) + u" is not the default printer");
    const auto stored = std::find_if(status.ports.begin(), status.ports.end(), [&](const auto& port) {
        return port.port + u":" == portName;
    });
    if (stored != status.ports.end()) {
        const auto& value = stored->settings;
        if (!value) missing.push_back(u"no settings are stored for " + std::u16string(portName));
        else if (portSettings && *value != *portSettings)
            missing.push_back(u"the settings of " + std::u16string(portName) + u" are " + *value + u", not " +
                              *portSettings);
    }
    return missing;
}

}  // namespace setup
