// The least a run that checks the print system must do besides its commands:
// load the print client from the system directory and list the printers once,
// with their ports and drivers, as PortSetupCli's install does. With --ports
// it also reads the Ports values once, as a detection of the installation
// must: the least program that answers the detection's question.
#include <windows.h>
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool ports = argc > 1 && std::wcscmp(argv[1], L"--ports") == 0;
    const HMODULE winspool = ::LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!winspool) return 1;
    const auto enumPrinters =
        reinterpret_cast<decltype(&::EnumPrintersW)>(reinterpret_cast<void*>(::GetProcAddress(winspool, "EnumPrintersW")));
    std::vector<BYTE> buffer(std::size_t{1} << 20);
    DWORD needed = 0, count = 0;
    const BOOL listed = enumPrinters && enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                                                     buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count);
    if (!listed) return 1;
    return ports && !ReadPortsOnce() ? 1 : 0;
}
