// The least a run that checks the print system must do besides its commands:
// load the print client from the system directory and list the printers once,
// with their ports and drivers, as PortSetupCli's install does. With --ports
// it also reads the Ports values once, as a detection of the installation
// must: the least program that answers the detection's question. With
// --devices as well, it lists the present devices of the Ports class once
// with their PortName, as a status that names each port's device must.
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <cwchar>
#include <vector>

namespace {

bool ReadPortsOnce() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return false;
    wchar_t name[256];
    BYTE data[1024];
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = 256, dataSize = sizeof data, type = 0;
        const LONG status = ::RegEnumValueW(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (status != ERROR_SUCCESS) break;
    }
    ::RegCloseKey(key);
    return true;
}

// {4d36e978-e325-11ce-bfc1-08002be10318}: the Ports class.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool ListDevicesOnce() {
    const HMODULE setupapi = ::LoadLibraryExW(L"setupapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!setupapi) return false;
    const auto get = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(setupapi, name)); };
    const auto classDevs = reinterpret_cast<decltype(&::SetupDiGetClassDevsW)>(get("SetupDiGetClassDevsW"));
    const auto enumInfo = reinterpret_cast<decltype(&::SetupDiEnumDeviceInfo)>(get("SetupDiEnumDeviceInfo"));
    const auto openKey = reinterpret_cast<decltype(&::SetupDiOpenDevRegKey)>(get("SetupDiOpenDevRegKey"));
    const auto destroy = reinterpret_cast<decltype(&::SetupDiDestroyDeviceInfoList)>(get("SetupDiDestroyDeviceInfoList"));
    if (!classDevs || !enumInfo || !openKey || !destroy) return false;
    const HDEVINFO set = classDevs(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; enumInfo(set, index, &device); ++index) {
        const HKEY key = openKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t port[64];
        DWORD size = sizeof port;
        ::RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size);
        ::RegCloseKey(key);
    }
    destroy(set);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool ports = false, devices = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--ports") == 0) ports = true;
        if (std::wcscmp(argv[i], L"--devices") == 0) devices = true;
    }
    const HMODULE winspool = ::LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!winspool) return 1;
    const auto enumPrinters =
        reinterpret_cast<decltype(&::EnumPrintersW)>(reinterpret_cast<void*>(::GetProcAddress(winspool, "EnumPrintersW")));
    std::vector<BYTE> buffer(std::size_t{1} << 20);
    DWORD needed = 0, count = 0;
    const BOOL listed = enumPrinters && enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                                                     buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count);
    if (!listed) return 1;
    if (ports && !ReadPortsOnce()) return 1;
    return devices && !ListDevicesOnce() ? 1 : 0;
}
