// The unavoidable part of an unattended removal: starting the printer setup
// commands, one after the other, without waiting. Reads the command lines
// (UTF-8, one a line) from the file named on its command line and starts each
// with the system directory's rundll32.exe, minimized.
#include <windows.h>

#include <fstream>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\rundll32.exe";
    std::ifstream file(argv[1]);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const int n = ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(), n);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWMINIMIZED;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(program.c_str(), wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1;
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    return 0;
}
