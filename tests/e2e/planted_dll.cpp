// A DLL planted beside a program under the name of a system DLL: when loaded
// it leaves C:\planted-dll-loaded.txt behind, naming the program that loaded it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t program[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, program, MAX_PATH);
        HANDLE file = ::CreateFileW(L"C:\\planted-dll-loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, program, static_cast<DWORD>(lstrlenW(program) * sizeof(wchar_t)), &written, nullptr);
            ::CloseHandle(file);
        }
    }
    return TRUE;
}

// The one function PortSetup would call, so that the loader is satisfied.
extern "C" __declspec(dllexport) BOOL WINAPI EnumPrintersW(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD count) {
    if (needed) *needed = 0;
    if (count) *count = 0;
    return TRUE;
}
