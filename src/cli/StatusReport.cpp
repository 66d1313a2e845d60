#include "cli/StatusReport.h"

#include "setup/PortDevices.h"
#include "setup/Text.h"

#include <algorithm>

namespace cli {

namespace {

using setup::Number;

// A JSON string, in UTF-16; the caller writes it out as UTF-8.
std::u16string JsonString(std::u16string_view text) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c < 0x20) {
            out += u"\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += c;
        }
    }
    return out + u"\"";
}

std::u16string JsonArray(const std::vector<std::u16string>& items) {
    std::u16string json = u"[";
    for (std::size_t i = 0; i < items.size(); ++i) json += (i ? u"," : u"") + JsonString(items[i]);
    return json + u"]";
}

std::u16string JsonBool(bool value) { return value ? u"true" : u"false"; }

// The present COM ports' devices, in the order of their ports' numbers; null
// when they cannot be read.
std::u16string PortDevicesJson(const platform::PortDeviceList& devices) {
    if (!devices.listed) return u"null";
    std::u16string json = u"[";
    const auto com = setup::ComPortDevices(devices);
    for (std::size_t i = 0; i < com.size(); ++i)
        json += (i ? u"," : u"") + std::u16string(u"{\"port\":") + JsonString(com[i].portName) + u",\"name\":" +
                JsonString(com[i].name) + u",\"hardwareIds\":" + JsonArray(com[i].hardwareIds) + u",\"instanceId\":" +
                JsonString(com[i].instanceId) + u",\"usb\":" + JsonBool(setup::OnUsb(com[i])) + u"}";
    return json + u"]";
}
std::u16string JsonOrNull(const std::u16string& text) { return text.empty() ? u"null" : JsonString(text); }

}  // namespace

std::u16string StatusJson(const setup::InstallationStatus& status, const std::optional<setup::Port>& askedPort,
                          const std::vector<std::u16string>& notAsAsked, const setup::Product& product,
                          const std::optional<std::u16string>& askedVersion,
                          const std::optional<std::u16string>& askedDevice) {
    std::u16string json = u"{\"driver\":" + JsonString(product.driverName) +
                          u",\"driverInstalled\":" + JsonBool(status.driverInstalled) + u",\"driverVersion\":" +
                          JsonOrNull(status.driverVersion) + u",\"minDriverVersion\":" +
                          (askedVersion ? JsonString(*askedVersion) : u"null") + u",\"packageDriverVersion\":" +
                          JsonOrNull(status.packageVersion) + u",\"printers\":[";
    for (std::size_t i = 0; i < status.printers.size(); ++i) {
        const auto& p = status.printers[i];
        json += (i ? u"," : u"") + std::u16string(u"{\"name\":") + JsonString(p.name) + u",\"port\":" +
                JsonString(p.port) + u",\"default\":" + JsonBool(p.isDefault) + u"}";
    }
    json += u"],\"ourPrinter\":" + JsonOrNull(status.ourPrinter) + u",\"ourPrinterNote\":" +
            JsonOrNull(status.ourPrinterNote) + u",\"staleQueues\":" + JsonArray(status.staleQueues) + u",\"defaultPrinter\":" + JsonString(status.defaultPrinter) + u",\"account\":" +
            JsonString(status.account) + u",\"windowsManagesDefault\":" + JsonBool(status.windowsManagesDefault) +
            u",\"ports\":{";
    for (std::size_t i = 0; i < status.ports.size(); ++i)
        json += (i ? u"," : u"") + JsonString(status.ports[i].port.PrintSystemName()) + u":" +
                (status.ports[i].settings ? JsonString(*status.ports[i].settings) : u"null");
    json += u"},\"presentComPorts\":" +
            (status.presentComPorts.listed ? JsonArray(status.presentComPorts.names) : u"null") +
            u",\"portDevices\":" + PortDevicesJson(status.portDevices) + u",\"portDevicesReason\":" +
            (status.portDevices.listed ? u"null" : JsonString(status.portDevices.reason)) + u",\"driverPackages\":" +
            (status.driverPackages.listed ? JsonArray(status.driverPackages.names) : u"null") + u",\"askedPort\":" + (askedPort ? JsonString(askedPort->Name()) : u"null") +
            u",\"askedDevice\":" + (askedDevice ? JsonString(*askedDevice) : u"null") + u",\"installedAsAsked\":" +
            JsonBool(notAsAsked.empty()) + u",\"notAsAsked\":" + JsonArray(notAsAsked) +
            u",\"warnings\":" + JsonArray(status.warnings) + u"}";
    return json;
}

std::vector<std::u16string> StatusLines(const setup::InstallationStatus& status,
                                        const std::optional<setup::Port>& askedPort,
                                        const std::vector<std::u16string>& notAsAsked, const setup::Product& product) {
    std::vector<std::u16string> lines;
    lines.push_back(u"Printer driver " + setup::Quoted(product.driverName) + u": " +
                    (status.driverInstalled ? u"installed" : u"not installed"));
    lines.push_back(u"Driver version: installed " + (status.driverVersion.empty() ? u"unknown" : status.driverVersion) +
                    u"; package " + (status.packageVersion.empty() ? u"unknown" : status.packageVersion));
    lines.emplace_back(status.printers.empty() ? u"Printers that use it: none" : u"Printers that use it:");
    for (const auto& p : status.printers)
        lines.push_back(u"  " + p.name + u" on " + p.port + (p.isDefault ? u" (the default printer)" : u""));
    lines.push_back(u"Our printer: " + (status.ourPrinter.empty() ? u"none" : status.ourPrinter) +
                    (status.ourPrinterNote.empty() ? u"" : u" (" + status.ourPrinterNote + u")"));
    if (!status.staleQueues.empty())
        lines.push_back(u"Stale queues of the driver (their USB printer is not plugged in; nothing is deleted for "
                        u"them): " + setup::CommaList(status.staleQueues));
    lines.push_back(u"Runs as: " + status.account);
    lines.push_back(u"Default printer of " + status.account + u": " +
                    (status.defaultPrinter.empty() ? u"none" : status.defaultPrinter) +
                    (status.windowsManagesDefault
                         ? u" (Windows manages this account's default printer: it may replace it with the last "
                           u"printer used)"
                         : u" (Windows does not manage this account's default printer)"));
    const auto& present = status.presentComPorts;
    lines.push_back(u"COM ports on this machine: " +
                    (!present.listed        ? u"unknown (" + present.reason + u")"
                     : present.names.empty() ? std::u16string(u"none")
                                             : setup::CommaList(present.names)));
    if (!status.portDevices.listed)
        lines.push_back(u"Devices of the COM ports: unknown (" + status.portDevices.reason + u")");
    else
        for (const auto& device : setup::ComPortDevices(status.portDevices))
            lines.push_back(u"  " + setup::DeviceLine(device));
    const auto& packages = status.driverPackages;
    lines.push_back(u"Driver package in the driver store: " +
                    (!packages.listed        ? u"unknown (" + packages.reason + u")"
                     : packages.names.empty() ? std::u16string(u"no")
                                              : u"yes, as " + setup::CommaList(packages.names)));
    lines.emplace_back(u"Ports values:");
    for (const auto& [port, settings] : status.ports) {
        const bool exists = std::find(present.names.begin(), present.names.end(), port.Name()) != present.names.end();
        lines.push_back(u"  " + port.PrintSystemName() + u" " + (settings ? *settings : u"(none)") +
                        (!present.listed ? u""
                         : exists        ? u" (the port is present)"
                                         : u" (the port is not present on this machine)"));
    }
    for (const auto& warning : status.warnings) lines.push_back(u"Warning: " + warning);
    std::u16string why;
    for (const auto& m : notAsAsked) why += (why.empty() ? u" (" : u"; ") + m;
    lines.push_back(u"Installed as asked" + (askedPort ? u" (" + askedPort->Name() + u")" : u"") + u": " +
                    (notAsAsked.empty() ? u"yes" : u"no" + why + u")"));
    return lines;
}

namespace {

std::u16string_view ResultName(setup::Finding::Result result) {
    switch (result) {
    case setup::Finding::Result::Passed: return u"passed";
    case setup::Finding::Result::Warning: return u"warning";
    case setup::Finding::Result::Refused: return u"refused";
    }
    return u"";
}

}  // namespace

std::vector<std::u16string> DoctorLines(const std::vector<setup::Finding>& findings, int exitCode) {
    std::vector<std::u16string> lines;
    for (const auto& finding : findings) {
        lines.push_back(std::u16string(ResultName(finding.result)) + u": " + finding.check + u": " + finding.detail);
        if (!finding.fix.empty()) lines.push_back(u"  fix: " + finding.fix);
    }
    const setup::Finding* refused = setup::FirstRefusal(findings);
    lines.push_back(refused ? u"verdict: install would end with " + setup::Number(static_cast<std::uint64_t>(exitCode)) +
                                  u" (" + refused->check + u")"
                            : u"verdict: nothing would stop an installation");
    return lines;
}

std::u16string DoctorJson(const std::vector<setup::Finding>& findings, int exitCode) {
    std::u16string json = u"{\"findings\":[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const auto& finding = findings[i];
        json += (i ? u"," : u"") + std::u16string(u"{\"check\":") + JsonString(finding.check) + u",\"result\":" +
                JsonString(ResultName(finding.result)) + u",\"detail\":" + JsonString(finding.detail) + u",\"fix\":" +
                JsonString(finding.fix) + u",\"exitCode\":" + setup::Number(static_cast<std::uint64_t>(finding.exitCode)) +
                u"}";
    }
    return json + u"],\"exitCode\":" + setup::Number(static_cast<std::uint64_t>(exitCode)) + u"}";
}

std::u16string TestPrintJson(const setup::TestPrintResult& result) {
    return u"{\"printer\":" + JsonOrNull(result.printer) + u",\"port\":" + JsonOrNull(result.port) + u",\"job\":" +
           (result.job ? setup::Number(result.job) : u"null") + u",\"jobStatus\":" + JsonOrNull(result.jobStatus) +
           u",\"printed\":" + JsonBool(result.printed) + u",\"exitCode\":" +
           setup::Number(static_cast<std::uint64_t>(result.verdict.exitCode)) + u",\"reason\":" +
           JsonOrNull(result.verdict.message) + u"}";
}

}  // namespace cli
