#include "platform/Win32Platform.h"

#include "platform/CommandLineText.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <memory>

namespace platform {

std::u16string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const LocalMemory owned(text);
    std::u16string message = n ? FromWide(text, n) : std::u16string();
    while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
        message.pop_back();
    if (message.empty()) {
        const std::string code = std::to_string(error);
        message = u"Error " + std::u16string(code.begin(), code.end());
    }
    return message;
}

std::u16string SystemDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const UINT n = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(n);
    }
    while (!buffer.empty() && buffer.back() == L'\\') buffer.pop_back();
    return FromWide(buffer);
}

void RestrictDllSearchToSystem() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    // Looked up by name: absent on Windows 7 without its loader update.
    if (auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    ::SetDllDirectoryW(L"");  // drops the current directory from the search either way
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Without the loader update the flag is refused: name the full path instead.
    const std::u16string path = SystemDirectory() + u"\\" + FromWide(name, wcslen(name));
    return ::LoadLibraryExW(Wide(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

unsigned ScreenDpi() {
    using GetDpiForSystemFn = UINT(WINAPI*)();
    if (auto get = reinterpret_cast<GetDpiForSystemFn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")))) {
        if (const UINT dpi = get()) return dpi;
    }
    const WindowDC screen(nullptr);
    const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

TwipSize Win32Platform::ScreenSize() {
    const float twipsPerPixel = 1440.0f / static_cast<float>(ScreenDpi());
    return {static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)) * twipsPerPixel,
            static_cast<float>(::GetSystemMetrics(SM_CYSCREEN)) * twipsPerPixel};
}

std::u16string Win32Platform::CommandLineArguments() {
    const wchar_t* line = ::GetCommandLineW();
    return ArgumentsOf(FromWide(line, wcslen(line)));
}

std::u16string Win32Platform::ProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
    return DirectoryOf(FromWide(path));
}

namespace {

// Handles the window's messages that are waiting; false after WM_QUIT, which
// the caller posts again once it has finished waiting.
bool PumpMessages(int& quitCode) {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

NameList ListingFailed(DWORD error) { return {false, {}, SystemErrorText(error)}; }

}  // namespace

StartResult Win32Platform::RunDetached(std::u16string_view systemProgram, std::u16string_view commandLine) {
    const std::u16string application = SystemDirectory() + u"\\" + std::u16string(systemProgram);
    std::u16string mutableLine(commandLine);  // CreateProcessW may write to it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    // A start that fails for want of resources while many are being started
    // is tried again a little later; a missing program is reported at once.
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessW(Wide(application), reinterpret_cast<wchar_t*>(mutableLine.data()), nullptr, nullptr,
                             FALSE, 0, nullptr, nullptr, &startup, &process))
            break;
        const DWORD error = ::GetLastError();
        const bool permanent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                               error == ERROR_ACCESS_DENIED || error == ERROR_BAD_EXE_FORMAT;
        if (permanent || attempt == 3) return {false, error, SystemErrorText(error), {}};
        ::Sleep(100 * attempt);
        mutableLine.assign(commandLine);
    }
    const KernelHandle threadHandle(process.hThread);
    return {true, 0, {}, StartedProcess(std::make_unique<Win32Process>(process.hProcess))};
}

WaitResult Win32Platform::WaitForProcesses(const std::vector<StartedProcess>& processes,
                                           std::uint32_t timeoutMilliseconds) {
    std::vector<HANDLE> pending;
    pending.reserve(processes.size());
    for (const StartedProcess& p : processes)
        if (p) pending.push_back(static_cast<const Win32Process*>(p.get())->process.get());

    const ULONGLONG deadline = ::GetTickCount64() + timeoutMilliseconds;
    WaitResult result = WaitResult::AllEnded;
    // One wait takes at most 63 handles besides the message queue: wait on the
    // first ones, and put the last in the place of each one that has ended.
    while (!pending.empty()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            result = WaitResult::TimedOut;
            break;
        }
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(pending.size(), MAXIMUM_WAIT_OBJECTS - 1));
        const DWORD timeout = static_cast<DWORD>(deadline - now);
        const DWORD woken = quitSeen_ ? ::WaitForMultipleObjects(count, pending.data(), FALSE, timeout)
                                      : ::MsgWaitForMultipleObjectsEx(count, pending.data(), timeout, QS_ALLINPUT,
                                                                      MWMO_INPUTAVAILABLE);
        if (woken < WAIT_OBJECT_0 + count) {
            pending[woken - WAIT_OBJECT_0] = pending.back();
            pending.pop_back();
        } else if (woken == WAIT_OBJECT_0 + count && !quitSeen_) {
            quitSeen_ = !PumpMessages(quitCode_);
        } else if (woken == WAIT_FAILED) {
            // A handle that cannot be waited for: treat the rest one by one.
            const HANDLE first = pending.front();
            if (::WaitForSingleObject(first, 0) != WAIT_TIMEOUT) {
                pending.front() = pending.back();
                pending.pop_back();
            } else {
                ::Sleep(10);
            }
        }
    }
    if (quitSeen_) {
        ::PostQuitMessage(quitCode_);
        quitSeen_ = false;
    }
    return result;
}

void* WinspoolFunction(ModuleHandle& module, const char* name) {
    if (!module) module.reset(LoadSystemLibrary(L"winspool.drv"));
    if (!module) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(module.get(), name));
}

NameList Win32Platform::ListPrinters() {
    using EnumPrintersFn = BOOL(WINAPI*)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    auto enumPrinters = reinterpret_cast<EnumPrintersFn>(WinspoolFunction(winspool_, "EnumPrintersW"));
    if (!enumPrinters) return ListingFailed(::GetLastError());

    std::vector<BYTE> buffer;
    DWORD count = 0;
    DWORD error = 0;
    const bool listed = EnumerateInto(
        [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, data, size, needed,
                                returned);
        },
        buffer, count, error);
    if (!listed) return ListingFailed(error);
    NameList list{true, {}, {}};
    list.names.reserve(count);
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const wchar_t* name = info[i].pPrinterName;
        list.names.push_back(name ? FromWide(name, wcslen(name)) : std::u16string());
    }
    return list;
}

NameList Win32Platform::ListPrinterDrivers() {
    using EnumPrinterDriversFn = BOOL(WINAPI*)(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    auto enumDrivers = reinterpret_cast<EnumPrinterDriversFn>(WinspoolFunction(winspool_, "EnumPrinterDriversW"));
    if (!enumDrivers) return ListingFailed(::GetLastError());

    std::vector<BYTE> buffer;
    DWORD count = 0;
    DWORD error = 0;
    const bool listed = EnumerateInto(
        [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return enumDrivers(nullptr, nullptr, 1, data, size, needed, returned);
        },
        buffer, count, error);
    if (!listed) return ListingFailed(error);
    NameList list{true, {}, {}};
    list.names.reserve(count);
    const auto* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const wchar_t* name = info[i].pName;
        list.names.push_back(name ? FromWide(name, wcslen(name)) : std::u16string());
    }
    return list;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool Win32Platform::WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) {
    const EventSourceHandle source(::RegisterEventSourceW(nullptr, L"PortSetup"));
    if (!source) return false;
    // One insertion string holds at most 31,839 characters.
    const std::wstring insertion(reinterpret_cast<const wchar_t*>(text.data()), std::min<std::size_t>(text.size(), 31000));
    const wchar_t* strings[] = {insertion.c_str()};
    return ::ReportEventW(source.get(),
                          type == EventType::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0, eventId,
                          nullptr, 1, 0, strings, nullptr) != FALSE;
}

}  // namespace platform
