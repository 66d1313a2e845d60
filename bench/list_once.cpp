// The least a run that checks the print system must do besides its commands:
// load the print client from the system directory and list the printers once,
// with their ports and drivers, as PortSetupCli's install does.
#include <windows.h>
#include <winspool.h>

#include <vector>

int wmain() {
    const HMODULE winspool = ::LoadLibraryExW(L"winspool.drv", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!winspool) return 1;
    const auto enumPrinters =
        reinterpret_cast<decltype(&::EnumPrintersW)>(reinterpret_cast<void*>(::GetProcAddress(winspool, "EnumPrintersW")));
    std::vector<BYTE> buffer(std::size_t{1} << 20);
    DWORD needed = 0, count = 0;
    const BOOL listed = enumPrinters && enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                                                     buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count);
    return listed ? 0 : 1;
}
