// The unavoidable part of an unattended removal: starting the printer setup
// commands and waiting for them, as the removal must before the driver can go.
// Reads the command lines (UTF-8, one a line) from the file named on its
// command line, starts every line but the last with the system directory's
// rundll32.exe, minimized, waits until they have all ended, then starts the
// last line (the driver delete) and waits for it. With --one-at-a-time before
// the file name it waits for each command before it starts the next.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

HANDLE Start(const std::wstring& program, const std::string& line) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(), n);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    // Like PortSetup: a start refused for want of resources in a burst is tried again.
    for (int attempt = 1; !::CreateProcessW(program.c_str(), wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &si, &pi);
         ++attempt) {
        if (attempt == 3) return nullptr;
        ::Sleep(100 * attempt);
    }
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

void WaitAll(std::vector<HANDLE>& processes) {
    for (std::size_t i = 0; i < processes.size(); i += MAXIMUM_WAIT_OBJECTS) {
        const DWORD n = static_cast<DWORD>(std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, processes.size() - i));
        ::WaitForMultipleObjects(n, processes.data() + i, TRUE, INFINITE);
    }
    for (HANDLE h : processes) ::CloseHandle(h);
    processes.clear();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool oneAtATime = argc == 3 && std::wstring(argv[1]) == L"--one-at-a-time";
    if (argc != 2 && !oneAtATime) return 2;
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\rundll32.exe";
    std::ifstream file(argv[argc - 1]);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    if (lines.empty()) return 2;
    std::vector<HANDLE> started;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        HANDLE h = Start(program, lines[i]);
        if (!h) return 1;
        started.push_back(h);
        if (oneAtATime) WaitAll(started);
    }
    WaitAll(started);
    HANDLE last = Start(program, lines.back());
    if (!last) return 1;
    started.push_back(last);
    WaitAll(started);
    return 0;
}
