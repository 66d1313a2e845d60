// Stands in for Windows' printer setup tool in the test sandbox, installed as
// system32\rundll32.exe. It carries out the printui command on Wine's print
// system (printers added through AddPrinterW, so that they print; the other
// changes as the registry keys EnumPrinters and EnumPrinterDrivers list),
// keeping the print system's rules, so that the tests can observe the effect:
//   /if /b NAME /f INF /r PORT /m MODEL   add printer NAME on PORT and driver MODEL (only if INF exists);
//                                         a NAME that is taken is not added and nothing of that
//                                         printer changes (ERROR_PRINTER_ALREADY_EXISTS, 0x0000070a),
//                                         but the driver is installed
//   /q /Xs /n NAME PortName PORT          move printer NAME to PORT (fails for a missing one)
//   /ia /f INF /m MODEL                   install driver MODEL (only if INF exists)
//   /q /y /n NAME                         make NAME the default printer
//   /dl /n NAME                           delete printer NAME
//   /q /dd /m MODEL                       delete driver MODEL, refused while a printer
//                                         still uses it (ERROR_PRINTER_DRIVER_IN_USE)
// Installed as system32\pnputil.exe too, it stands in for the driver store's
// tool, with its exit codes:
//   /add-driver INF /install              2 without the INF; else the package published in the
//                                         driver store as Windows does it (oemN.inf in the INF
//                                         folder, an identical one found again); 259 when
//                                         no device waits for the driver; else 0 (3010 when the
//                                         DWORD "restart" is 1): the device the string value
//                                         "plugged" names by its model gets its queue, named after
//                                         the model, on USB001
//   /delete-driver oemN.inf /uninstall    the published package out of the driver store
//                                         (SetupUninstallOEMInfW); 2 when it is not there; while
//                                         the DWORD "held" is 1 a device keeps it: 0xE000023D
//                                         (ERROR_INF_IN_USE_BY_DEVICES), nothing changes
// Each operation takes the time, in ms, that the DWORD value named after it
// ("if", "ia", "y", "dl", "dd", "Xs") under HKLM\Software\PortSetupTests\PrintUi
// gives, before its effect; the string value "fail" there names operations
// (blank-separated) that fail on purpose, changing nothing. It records every command line, when it started
// and ended, from where it ran, and how the operation ended (done, refused,
// failed).
#include <windows.h>
#include <shellapi.h>

#include <setupapi.h>
#include <winspool.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const wchar_t kPrinters[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
// The drivers of the print system's own environment: built for 32-bit
// Windows, it stands in on a 32-bit Windows.
#ifdef _WIN64
const wchar_t kDrivers[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\";
#else
const wchar_t kDrivers[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3\\";
#endif
const wchar_t kDelays[] = L"Software\\PortSetupTests\\PrintUi";

unsigned long long Now() {
    FILETIME t{};
    ::GetSystemTimeAsFileTime(&t);
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// The time the test gave this operation, in ms.
DWORD DelayOf(const wchar_t* operation) {
    DWORD ms = 0;
    DWORD size = sizeof ms;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kDelays, operation, RRF_RT_REG_DWORD, nullptr, &ms, &size) != ERROR_SUCCESS)
        return 0;
    return ms;
}

// Whether a printer still uses `model`, as the print system reports it.
// winspool.drv is loaded here only: Wine's reads every printer as it loads,
// which with many printers would slow every other operation too.
bool DriverInUse(const std::wstring& model) {
    using EnumPrintersFn = BOOL(WINAPI*)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    HMODULE winspool = ::LoadLibraryW(L"winspool.drv");
    auto enumPrinters = reinterpret_cast<EnumPrintersFn>(
        reinterpret_cast<void*>(::GetProcAddress(winspool, "EnumPrintersW")));
    if (!enumPrinters) return false;
    DWORD needed = 0, count = 0;
    enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    if (!enumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count))
        return false;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (info[i].pDriverName && model == info[i].pDriverName) return true;
    return false;
}

// Adds the printer through the print system (AddPrinterW), as printui's /if
// does: Wine's print system opens, prints to and lists only printers it
// added itself. Needs the driver installed; a name that is taken is refused
// (ERROR_PRINTER_ALREADY_EXISTS) and nothing of that printer changes.
DWORD AddPrinterThroughPrintSystem(const std::wstring& name, const std::wstring& port, const std::wstring& model) {
    using AddPrinterFn = HANDLE(WINAPI*)(LPWSTR, DWORD, LPBYTE);
    using ClosePrinterFn = BOOL(WINAPI*)(HANDLE);
    HMODULE winspool = ::LoadLibraryW(L"winspool.drv");
    auto addPrinter = reinterpret_cast<AddPrinterFn>(reinterpret_cast<void*>(::GetProcAddress(winspool, "AddPrinterW")));
    auto closePrinter =
        reinterpret_cast<ClosePrinterFn>(reinterpret_cast<void*>(::GetProcAddress(winspool, "ClosePrinter")));
    if (!addPrinter || !closePrinter) return ERROR_PROC_NOT_FOUND;
    std::wstring printerName = name, portName = port, driverName = model, processor = L"winprint", datatype = L"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pPortName = portName.data();
    info.pDriverName = driverName.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = datatype.data();
    HANDLE printer = addPrinter(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer) return ::GetLastError();
    closePrinter(printer);
    return ERROR_SUCCESS;
}

std::string Utf8(const std::wstring& w) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Creates (or opens) the key and sets its values; with `onlyNew`, a key that
// exists already is left as it is and the call fails: the check and the
// creation are one step, as the print spooler's are.
bool CreateKeyWith(HKEY root, const std::wstring& path, const std::map<std::wstring, std::wstring>& values,
                   bool onlyNew = false) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition) !=
        ERROR_SUCCESS)
        return false;
    const bool write = !onlyNew || disposition == REG_CREATED_NEW_KEY;
    if (write)
        for (const auto& [name, value] : values) SetString(key, name.c_str(), value);
    ::RegCloseKey(key);
    return write;
}

// Whether the test asked this operation to fail.
bool FailsOnPurpose(const std::wstring& operation) {
    wchar_t names[256] = {};
    DWORD size = sizeof names;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kDelays, L"fail", RRF_RT_REG_SZ, nullptr, names, &size) != ERROR_SUCCESS)
        return false;
    const std::wstring list = L" " + std::wstring(names) + L" ";
    return list.find(L" " + operation + L" ") != std::wstring::npos;
}

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::wstring PortOf(const std::wstring& printer) {
    wchar_t port[256] = {};
    DWORD size = sizeof port;
    ::RegGetValueW(HKEY_LOCAL_MACHINE, (kPrinters + printer).c_str(), L"Port", RRF_RT_REG_SZ, nullptr, port, &size);
    return port;
}

std::string Bytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) bytes.append(buffer, read);
    ::CloseHandle(file);
    return bytes;
}

std::wstring InfFolder() {
    wchar_t windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf\\";
}

// Publishes the package as Windows' driver store does (Wine's SetupCopyOEMInfW
// keeps the INF's own name): the INF copied into the INF folder as oemN.inf,
// the first free N, or the name of an identical one published before.
std::wstring Publish(const std::wstring& inf) {
    const std::string bytes = Bytes(inf);
    for (int n = 0;; ++n) {
        const std::wstring name = L"oem" + std::to_wstring(n) + L".inf";
        if (::GetFileAttributesW((InfFolder() + name).c_str()) == INVALID_FILE_ATTRIBUTES)
            return ::CopyFileW(inf.c_str(), (InfFolder() + name).c_str(), TRUE) ? name : L"";
        if (Bytes(InfFolder() + name) == bytes) return name;
    }
}

// The driver store's tool: a USB printer plugged in without its driver gets
// it, and Plug and Play makes its queue.
std::string AddToDriverStore(const std::map<std::wstring, std::wstring>& options, DWORD& exitCode) {
    ::Sleep(DelayOf(L"pnputil"));
    const auto inf = options.find(L"/add-driver");
    if (FailsOnPurpose(L"pnputil")) {
        exitCode = 1;
        return "failed: on purpose";
    }
    if (inf == options.end() || !options.count(L"/install")) {
        exitCode = ERROR_INVALID_PARAMETER;
        return "failed: unknown command";
    }
    if (::GetFileAttributesW(inf->second.c_str()) == INVALID_FILE_ATTRIBUTES) {
        exitCode = ERROR_FILE_NOT_FOUND;
        return "failed: no INF file";
    }
    const std::wstring published = Publish(inf->second);
    if (published.empty()) {
        exitCode = ::GetLastError();
        return "failed: not published, error " + std::to_string(exitCode);
    }
    wchar_t model[128] = {};
    DWORD size = sizeof model;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kDelays, L"plugged", RRF_RT_REG_SZ, nullptr, model, &size) != ERROR_SUCCESS) {
        exitCode = 259;
        return "done: published as " + Utf8(published) + ", nothing to update";
    }
    CreateKeyWith(HKEY_LOCAL_MACHINE, kDrivers + std::wstring(model),
                  {{L"Driver", L"KALDOQTX.DLL"}, {L"Inf Path", inf->second}});
    CreateKeyWith(HKEY_LOCAL_MACHINE, kPrinters + std::wstring(model),
                  {{L"Name", model}, {L"Printer Driver", model}, {L"Port", L"USB001"}}, true);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDelays, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, L"plugged");
        ::RegCloseKey(key);
    }
    exitCode = DelayOf(L"restart") == 1 ? 3010 : 0;
    return "done: published as " + Utf8(published) + ", device updated";
}

// A published package out of the driver store, unless a device keeps it.
std::string DeleteFromDriverStore(const std::map<std::wstring, std::wstring>& options, DWORD& exitCode) {
    const auto name = options.find(L"/delete-driver");
    if (name == options.end() || !options.count(L"/uninstall")) {
        exitCode = ERROR_INVALID_PARAMETER;
        return "failed: unknown command";
    }
    if (::GetFileAttributesW((InfFolder() + name->second).c_str()) == INVALID_FILE_ATTRIBUTES) {
        exitCode = ERROR_FILE_NOT_FOUND;
        return "failed: no such package";
    }
    if (DelayOf(L"held") == 1) {
        exitCode = 0xE000023D;  // ERROR_INF_IN_USE_BY_DEVICES
        return "refused: a device uses the package";
    }
    // Wine's SetupUninstallOEMInfW deletes only when forced; whether a
    // device keeps the package was asked above.
    if (!::SetupUninstallOEMInfW(name->second.c_str(), SUOI_FORCEDELETE, nullptr)) {
        exitCode = ::GetLastError();
        return "failed: SetupUninstallOEMInfW error " + std::to_string(exitCode);
    }
    exitCode = 0;
    return "done: package deleted";
}

// Appends one line to C:\printui-log.txt, one writer at a time.
void Record(const std::string& line) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"PortSetupPrintUiStandInLog");
    ::WaitForSingleObject(mutex, 10000);
    HANDLE file = ::CreateFileW(L"C:\\printui-log.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    FILETIME created{}, ignored{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ignored, &ignored, &ignored);
    const unsigned long long startTime = (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);

    const std::wstring commandLine = ::GetCommandLineW();
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(commandLine.c_str(), &argc);
    std::map<std::wstring, std::wstring> options;  // option -> its value ("" for flags)
    // rundll32's first argument is the DLL's entry; pnputil has none.
    const std::wstring program = self;
    const bool driverStore = program.size() >= 11 && _wcsicmp(program.c_str() + program.size() - 11, L"pnputil.exe") == 0;
    for (int i = driverStore ? 1 : 2; i < argc; ++i) {
        std::wstring option = argv[i];
        const bool takesValue = option == L"/b" || option == L"/f" || option == L"/r" || option == L"/m" ||
                                option == L"/n" || option == L"PortName" || option == L"/add-driver" ||
                                option == L"/delete-driver";
        options[option] = takesValue && i + 1 < argc ? argv[++i] : L"";
    }
    ::LocalFree(argv);

    std::string outcome = "failed: unknown command";
    DWORD exitCode = 0;
    const bool infFound = options.count(L"/f") && ::GetFileAttributesW(options[L"/f"].c_str()) != INVALID_FILE_ATTRIBUTES;
    auto installDriver = [&] {
        return CreateKeyWith(HKEY_LOCAL_MACHINE, kDrivers + options[L"/m"],
                             {{L"Driver", L"KALDOQTX.DLL"}, {L"Inf Path", options[L"/f"]}});
    };
    if (driverStore && options.count(L"/delete-driver")) {
        outcome = DeleteFromDriverStore(options, exitCode);
    } else if (driverStore) {
        outcome = AddToDriverStore(options, exitCode);
    } else if (options.count(L"/if")) {
        ::Sleep(DelayOf(L"if"));
        if (FailsOnPurpose(L"if")) {
            outcome = "failed: on purpose";
        } else if (!infFound) {
            outcome = "failed: no INF file";
        } else {
            installDriver();
            // Wine's AddPrinterW replaces a printer of the name; Windows'
            // refuses it. The check and the add are one step, under a lock
            // all stand-ins share, as the print spooler's are.
            HANDLE adding = ::CreateMutexW(nullptr, FALSE, L"PortSetupPrintUiStandInAdd");
            ::WaitForSingleObject(adding, 30000);
            const DWORD added = KeyExists(kPrinters + options[L"/b"])
                                    ? ERROR_PRINTER_ALREADY_EXISTS
                                    : AddPrinterThroughPrintSystem(options[L"/b"], options[L"/r"], options[L"/m"]);
            ::ReleaseMutex(adding);
            ::CloseHandle(adding);
            outcome = added == ERROR_SUCCESS                  ? "done: printer added"
                      : added == ERROR_PRINTER_ALREADY_EXISTS ? "failed: printer exists (0x0000070a)"
                                                              : "failed: AddPrinterW error " + std::to_string(added);
        }
    } else if (options.count(L"/Xs")) {
        ::Sleep(DelayOf(L"Xs"));
        const std::wstring& name = options[L"/n"];
        if (FailsOnPurpose(L"Xs")) {
            outcome = "failed: on purpose";
        } else if (KeyExists(kPrinters + name) && options.count(L"PortName")) {
            CreateKeyWith(HKEY_LOCAL_MACHINE, kPrinters + name, {{L"Port", options[L"PortName"]}});
            outcome = "done: port set";
        } else {
            outcome = "failed: no such printer";
        }
    } else if (options.count(L"/ia")) {
        ::Sleep(DelayOf(L"ia"));
        outcome = FailsOnPurpose(L"ia") ? "failed: on purpose" : !infFound ? "failed: no INF file" : installDriver() ? "done: driver added" : "failed: driver not added";
    } else if (options.count(L"/y")) {
        ::Sleep(DelayOf(L"y"));
        const std::wstring& name = options[L"/n"];
        if (FailsOnPurpose(L"y")) {
            outcome = "failed: on purpose";
        } else if (KeyExists(kPrinters + name)) {
            CreateKeyWith(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                          {{L"Device", name + L",winspool," + PortOf(name)}});
            outcome = "done: default set";
        } else {
            outcome = "failed: no such printer";
        }
    } else if (options.count(L"/dl")) {
        ::Sleep(DelayOf(L"dl"));
        outcome = FailsOnPurpose(L"dl") ? "failed: on purpose" : ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kPrinters + options[L"/n"]).c_str()) == ERROR_SUCCESS
                      ? "done: printer deleted" : "failed: no such printer";
    } else if (options.count(L"/dd")) {
        ::Sleep(DelayOf(L"dd"));
        if (FailsOnPurpose(L"dd")) {
            outcome = "failed: on purpose";
        } else if (DriverInUse(options[L"/m"])) {
            outcome = "refused: driver in use";
        } else {
            outcome = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kDrivers + options[L"/m"]).c_str()) == ERROR_SUCCESS
                          ? "done: driver deleted" : "failed: no such driver";
        }
    }
    // started-at (100 ns) <TAB> program <TAB> command line <TAB> outcome <TAB> ended-at (100 ns) <TAB> current folder
    char time[32], end[32];
    std::snprintf(time, sizeof time, "%llu", startTime);
    std::snprintf(end, sizeof end, "%llu", Now());
    wchar_t folder[MAX_PATH] = L"";
    ::GetCurrentDirectoryW(MAX_PATH, folder);
    Record(std::string(time) + "\t" + Utf8(self) + "\t" + Utf8(commandLine) + "\t" + outcome + "\t" + end + "\t" +
           Utf8(folder) + "\n");
    return static_cast<int>(exitCode);
}

#ifdef STANDIN_CONSOLE
// A console program shares its starter's console, and, started without
// standard handles of its own, its starter's: it says a line on them, as
// pnputil does, and holds them for as long as it runs.
int wmain() {
    DWORD written = 0;
    static constexpr char kBanner[] = "Microsoft PnP Utility (stand-in)\r\n";
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), kBanner, sizeof kBanner - 1, &written, nullptr);
    return wWinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
}
#endif
