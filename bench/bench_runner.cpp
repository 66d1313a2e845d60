// Measures programs from outside, under Wine:
//   startup N EXE...     start each EXE in turn, N rounds; time from
//                        CreateProcess to a visible "Port Management" window,
//                        and the process's peak memory; then close it.
//   time-run EXE [ARGS]  time from CreateProcess to the program's exit.
// Prints one line of figures per program.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; ::QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND WindowOf(DWORD pid) {
    struct Q { DWORD pid; HWND found; } q{pid, nullptr};
    ::EnumWindows([](HWND h, LPARAM p) -> BOOL {
        auto* q = reinterpret_cast<Q*>(p);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(h, &owner);
        wchar_t title[64] = {};
        if (owner == q->pid && ::IsWindowVisible(h) && ::GetWindowTextW(h, title, 64) && std::wstring(title) == L"Port Management") {
            q->found = h;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

bool Start(const std::wstring& exe, const std::wstring& args, PROCESS_INFORMATION& pi) {
    std::wstring line = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
    return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 4 && std::wstring(argv[1]) == L"startup") {
        const int rounds = _wtoi(argv[2]);
        const int count = argc - 3;
        std::vector<std::vector<double>> times(count), workingSet(count), privateBytes(count);
        for (int round = 0; round < rounds; ++round) {
            for (int e = 0; e < count; ++e) {
                PROCESS_INFORMATION pi{};
                const double t0 = Now();
                if (!Start(argv[3 + e], L"", pi)) return 1;
                HWND window = nullptr;
                while (!(window = WindowOf(pi.dwProcessId))) {
                    if (Now() - t0 > 20000) return 1;
                    ::Sleep(0);
                }
                times[e].push_back(Now() - t0);
                ::Sleep(300);  // settle, then read the peak
                PROCESS_MEMORY_COUNTERS pmc{};
                pmc.cb = sizeof pmc;
                if (::GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc)) {
                    workingSet[e].push_back(static_cast<double>(pmc.PeakWorkingSetSize) / 1024.0);
                    privateBytes[e].push_back(static_cast<double>(pmc.PeakPagefileUsage) / 1024.0);
                }
                ::PostMessageW(window, WM_CLOSE, 0, 0);
                ::WaitForSingleObject(pi.hProcess, 10000);
                ::CloseHandle(pi.hProcess);
                ::CloseHandle(pi.hThread);
            }
        }
        for (int e = 0; e < count; ++e) {
            std::wstring name = argv[3 + e];
            name = name.substr(name.find_last_of(L"\\/") + 1);
            std::printf("startup %s median_ms %.1f min_ms %.1f max_ms %.1f peak_ws_kb %.0f peak_private_kb %.0f runs %zu\n",
                        Narrow(name).c_str(), Median(times[e]), *std::min_element(times[e].begin(), times[e].end()),
                        *std::max_element(times[e].begin(), times[e].end()), Median(workingSet[e]), Median(privateBytes[e]),
                        times[e].size());
        }
        return 0;
    }
    if (argc >= 3 && std::wstring(argv[1]) == L"time-run") {
        PROCESS_INFORMATION pi{};
        const double t0 = Now();
        if (!Start(argv[2], argc > 3 ? argv[3] : L"", pi)) return 1;
        ::WaitForSingleObject(pi.hProcess, 600000);
        const double elapsed = Now() - t0;
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        std::printf("elapsed_ms %.1f exit %lu\n", elapsed, code);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_runner startup N EXE... | time-run EXE [ARGS]\n");
    return 2;
}
