// Holds the named mutexes given on its command line for a number of seconds,
// as any user's process can: hold_mutex SECONDS NAME...
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::vector<HANDLE> held;
    for (int i = 2; i < argc; ++i) {
        HANDLE mutex = ::CreateMutexW(nullptr, TRUE, argv[i]);
        if (!mutex) return 1;
        held.push_back(mutex);
    }
    std::printf("holding\n");
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) * 1000);
    for (HANDLE mutex : held) ::CloseHandle(mutex);
    return 0;
}
