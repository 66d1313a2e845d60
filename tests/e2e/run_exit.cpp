// Runs a program with the given arguments, its standard handles shared, waits
// for it, and writes its whole exit code as the last line on stderr:
// "run_exit: exit code N". (wine64's own exit status keeps only the low 8 bits.)
// "run_exit --command-line LINE" starts LINE exactly as given, as Windows
// starts a command line kept in the registry.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// One argument, quoted by the rules CommandLineToArgvW reads back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    std::wstring line;
    if (argc == 3 && std::wstring(argv[1]) == L"--command-line") line = argv[2];
    else
        for (int i = 1; i < argc; ++i) line += (i > 1 ? L" " : L"") + Quote(argv[i]);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    // Wine's rare ERROR_INTERNAL_ERROR: the process died before any of its
    // Windows code ran; it is started once more, and the output says so.
    if (!started && ::GetLastError() == ERROR_INTERNAL_ERROR) {
        std::fprintf(stderr, "run_exit: Wine could not start the process (error 1359), starting it once more\n");
        ::Sleep(500);
        started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    }
    if (!started) {
        std::fprintf(stderr, "run_exit: cannot start (error %lu)\n", ::GetLastError());
        return 3;
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    std::fflush(stdout);
    std::fprintf(stderr, "run_exit: exit code %lu\n", code);
    return 0;
}
