#include "platform/Win32Platform.h"

#include "platform/CommandLineText.h"

#include <windows.h>
#include <winspool.h>

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
        if (permanent || attempt == 3) return {false, error, SystemErrorText(error)};
        ::Sleep(100 * attempt);
        mutableLine.assign(commandLine);
    }
    KernelHandle processHandle(process.hProcess);
    KernelHandle threadHandle(process.hThread);
    return {true, 0, {}};
}

std::vector<std::u16string> Win32Platform::ListPrinters() {
    using EnumPrintersFn = BOOL(WINAPI*)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    if (!winspool_) winspool_.reset(LoadSystemLibrary(L"winspool.drv"));
    if (!winspool_) return {};
    auto enumPrinters = reinterpret_cast<EnumPrintersFn>(
        reinterpret_cast<void*>(::GetProcAddress(winspool_.get(), "EnumPrintersW")));
    if (!enumPrinters) return {};

    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (enumPrinters(flags, nullptr, 4, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count))
            break;
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        buffer.resize(needed);  // printers may be added meanwhile: ask again
        count = 0;
    }
    std::vector<std::u16string> names;
    names.reserve(count);
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const wchar_t* name = info[i].pPrinterName;
        names.push_back(name ? FromWide(name, wcslen(name)) : std::u16string());
    }
    return names;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
