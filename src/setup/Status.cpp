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
    for (const auto& name : serialPorts) {
        // "COM" in any case, then a number without leading zeros.
        if (name.size() < 4 || name.size() > 13 || name[3] == u'0') continue;
        bool com = true;
        for (std::size_t i = 0; i < 3; ++i) com = com && (name[i] | 0x20) == u"com"[i];
        std::uint64_t number = 0;
        for (std::size_t i = 3; i < name.size() && com; ++i) {
            com = name[i] >= u'0' && name[i] <= u'9';
            number = number * 10 + static_cast<std::uint64_t>(name[i] - u'0');
        }
        if (com) numbers.push_back(number);
    }
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

InstallationStatus QueryStatus(Services s) {
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
    status.presentComPorts = ListPresentComPorts(s.machine);
    for (std::size_t i = 0; i < status.ports.size(); ++i) {
        std::u16string value;
        if (ReadPortSettings(s.registry, u"COM" + Number(i + 1) + u":", value) == platform::kErrorSuccess)
            status.ports[i] = value;
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
    const std::size_t index = portName.size() == 5 ? static_cast<std::size_t>(portName[3] - u'1') : status.ports.size();
    if (index < status.ports.size()) {
        const auto& value = status.ports[index];
        if (!value) missing.push_back(u"no settings are stored for " + std::u16string(portName));
        else if (portSettings && *value != *portSettings)
            missing.push_back(u"the settings of " + std::u16string(portName) + u" are " + *value + u", not " +
                              *portSettings);
    }
    return missing;
}

}  // namespace setup
