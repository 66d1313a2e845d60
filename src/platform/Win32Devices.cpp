// The devices behind the ports, as SetupAPI lists them: the present devices
// of the Ports class with their PortName, and the USB printer ports whose
// printer is plugged in (the present interfaces of the USB printing class).
#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <string>
#include <vector>

namespace platform {

namespace {

// {4d36e978-e325-11ce-bfc1-08002be10318}: the Ports (COM & LPT) class.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// {28d78fad-5a12-11d1-ae5b-0000f803a8c2}: GUID_DEVINTERFACE_USBPRINT.
constexpr GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// A device information set, destroyed when done.
class DeviceSet {
public:
    explicit DeviceSet(HDEVINFO set) : set_(set) {}
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;
    ~DeviceSet() {
        if (set_ != INVALID_HANDLE_VALUE) Setup().SetupDiDestroyDeviceInfoList(set_);
    }
    HDEVINFO get() const { return set_; }
    explicit operator bool() const { return set_ != INVALID_HANDLE_VALUE; }

private:
    HDEVINFO set_;
};

// A device property's data; empty when it has none.
std::vector<wchar_t> Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0, size = 0;
    Setup().SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &size);
    if (size == 0 || (type != REG_SZ && type != REG_MULTI_SZ)) return {};
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (!Setup().SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(data.data()),
                                                   size, nullptr))
        return {};
    return data;
}

std::u16string Text(const std::vector<wchar_t>& data) { return data.empty() ? u"" : FromWide(data.data(), wcslen(data.data())); }

std::vector<std::u16string> Texts(const std::vector<wchar_t>& data) {
    std::vector<std::u16string> texts;
    for (std::size_t at = 0; at < data.size() && data[at] != L'\0';) {
        const std::size_t length = wcslen(data.data() + at);
        texts.push_back(FromWide(data.data() + at, length));
        at += length + 1;
    }
    return texts;
}

// A REG_SZ value of an open key; empty when it has none.
std::u16string StringValue(HKEY key, const wchar_t* name) {
    wchar_t data[256] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return FromWide(data, wcsnlen(data, size / sizeof(wchar_t)));
}

std::u16string SetupApiMissing() {
    return SystemErrorText(Setup().error ? Setup().error : static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

}  // namespace

PortDeviceList Win32System::ListPortDevices() {
    const SetupApi& api = Setup();
    if (!api.SetupDiGetClassDevsW || !api.SetupDiEnumDeviceInfo || !api.SetupDiGetDeviceInstanceIdW ||
        !api.SetupDiGetDeviceRegistryPropertyW || !api.SetupDiOpenDevRegKey || !api.SetupDiDestroyDeviceInfoList)
        return {false, {}, SetupApiMissing()};
    const DeviceSet set(api.SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!set) return {false, {}, SystemErrorText(::GetLastError())};
    PortDeviceList list{true, {}, {}};
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!api.SetupDiEnumDeviceInfo(set.get(), index, &device)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_ITEMS) break;
            return {false, {}, SystemErrorText(error)};
        }
        PortDevice port;
        wchar_t instance[201] = {};  // MAX_DEVICE_ID_LEN and its end
        if (api.SetupDiGetDeviceInstanceIdW(set.get(), &device, instance, 200, nullptr))
            port.instanceId = FromWide(instance, wcslen(instance));
        port.name = Text(Property(set.get(), device, SPDRP_FRIENDLYNAME));
        if (port.name.empty()) port.name = Text(Property(set.get(), device, SPDRP_DEVICEDESC));
        port.hardwareIds = Texts(Property(set.get(), device, SPDRP_HARDWAREID));
        port.enumerator = Text(Property(set.get(), device, SPDRP_ENUMERATOR_NAME));
        HKEY opened = api.SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (opened != INVALID_HANDLE_VALUE && opened) {
            const RegistryKey key(opened);
            port.portName = StringValue(key.get(), L"PortName");
        }
        list.devices.push_back(std::move(port));
    }
    return list;
}

NameList Win32System::ListPresentUsbPrintPorts() {
    const SetupApi& api = Setup();
    if (!api.SetupDiGetClassDevsW || !api.SetupDiEnumDeviceInterfaces || !api.SetupDiOpenDeviceInterfaceRegKey ||
        !api.SetupDiDestroyDeviceInfoList)
        return {false, {}, SetupApiMissing()};
    const DeviceSet set(
        api.SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) return {false, {}, SystemErrorText(::GetLastError())};
    NameList list{true, {}, {}};
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA usbPrint{};
        usbPrint.cbSize = sizeof usbPrint;
        if (!api.SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kUsbPrintInterface, index, &usbPrint)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_NO_MORE_ITEMS) break;
            return {false, {}, SystemErrorText(error)};
        }
        // The print system's USB monitor names the port from these two values.
        HKEY opened = api.SetupDiOpenDeviceInterfaceRegKey(set.get(), &usbPrint, 0, KEY_QUERY_VALUE);
        if (opened == INVALID_HANDLE_VALUE || !opened) continue;
        const RegistryKey key(opened);
        const std::u16string base = StringValue(key.get(), L"Base Name");
        DWORD number = 0, size = sizeof number, type = 0;
        if (base.empty() ||
            ::RegQueryValueExW(key.get(), L"Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || number > 999)
            continue;
        wchar_t digits[4] = {};
        digits[0] = static_cast<wchar_t>(L'0' + number / 100);
        digits[1] = static_cast<wchar_t>(L'0' + number / 10 % 10);
        digits[2] = static_cast<wchar_t>(L'0' + number % 10);
        list.names.push_back(base + FromWide(digits, 3));
    }
    return list;
}

}  // namespace platform
