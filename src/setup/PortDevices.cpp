#include "setup/PortDevices.h"

#include "setup/ExitCodes.h"
#include "setup/Text.h"

#include <algorithm>

namespace setup {

bool IsDevicePattern(std::u16string_view pattern) {
    if (pattern.empty() || pattern.size() > kDevicePatternLimit) return false;
    for (char16_t c : pattern) {
        const bool alnum = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        if (!alnum && std::u16string_view(u"&_\\#.+-{}").find(c) == std::u16string_view::npos) return false;
    }
    return true;
}

bool OnUsb(const platform::PortDevice& device) {
    if (SameIgnoringCase(device.enumerator, u"USB") || SameIgnoringCase(device.enumerator, u"FTDIBUS")) return true;
    if (ContainsIgnoringCase(device.instanceId, u"VID_")) return true;
    return std::any_of(device.hardwareIds.begin(), device.hardwareIds.end(),
                       [](const std::u16string& id) { return ContainsIgnoringCase(id, u"VID_"); });
}

bool DeviceMatches(const platform::PortDevice& device, std::u16string_view pattern) {
    if (ContainsIgnoringCase(device.instanceId, pattern)) return true;
    return std::any_of(device.hardwareIds.begin(), device.hardwareIds.end(),
                       [&](const std::u16string& id) { return ContainsIgnoringCase(id, pattern); });
}

std::vector<platform::PortDevice> ComPortDevices(const platform::PortDeviceList& devices) {
    std::vector<platform::PortDevice> com;
    for (const auto& device : devices.devices)
        if (ComPortNumber(device.portName)) com.push_back(device);
    std::stable_sort(com.begin(), com.end(), [](const auto& a, const auto& b) {
        return *ComPortNumber(a.portName) < *ComPortNumber(b.portName);
    });
    return com;
}

std::u16string DeviceLine(const platform::PortDevice& device) {
    std::u16string line = device.portName + u": " + (device.name.empty() ? u"(no name)" : device.name);
    if (OnUsb(device)) line += u", on USB";
    line += u", hardware IDs " + (device.hardwareIds.empty() ? u"none" : CommaList(device.hardwareIds));
    line += u", instance " + (device.instanceId.empty() ? u"unknown" : device.instanceId);
    return line;
}

namespace {

std::u16string PresentText(const std::vector<platform::PortDevice>& com) {
    if (com.empty()) return u"no COM port device is present";
    std::u16string text = u"present: ";
    for (std::size_t i = 0; i < com.size(); ++i) text += (i ? u"; " : u"") + DeviceLine(com[i]);
    return text;
}

}  // namespace

DevicePort PortOfDevice(const platform::PortDeviceList& devices, std::u16string_view pattern) {
    DevicePort found;
    const std::u16string asked = u"--device " + Quoted(pattern);
    if (!devices.listed) {
        found.exitCode = kExitFailed;
        found.detail = u"the devices of the COM ports could not be listed to find " + asked + u": " + devices.reason;
        found.fix = u"give the port by its number (--port COMn)";
        return found;
    }
    std::vector<const platform::PortDevice*> matching;
    for (const auto& device : devices.devices)
        if (ComPortNumber(device.portName) && DeviceMatches(device, pattern)) matching.push_back(&device);
    const std::u16string present = PresentText(ComPortDevices(devices));
    if (matching.empty()) {
        found.exitCode = kExitDeviceNotFound;
        found.detail = u"no present COM port device matches " + asked + u" (a part of a hardware ID or of the instance ID; " +
                       present + u")";
        found.fix = u"plug the printer or its adapter in, or give a part of one of the IDs listed";
        return found;
    }
    if (matching.size() > 1) {
        std::vector<std::u16string> ports;
        ports.reserve(matching.size());
        for (const auto* device : matching) ports.push_back(device->portName);
        found.exitCode = kExitDeviceAmbiguous;
        found.detail = u"several present COM port devices match " + asked + u": " + CommaList(ports) + u" (" + present + u")";
        found.fix = u"give a longer part, such as the adapter's serial number from its instance ID, or --port COMn";
        return found;
    }
    found.device = matching.front();
    found.port = Port::Parse(matching.front()->portName);
    return found;
}

}  // namespace setup
