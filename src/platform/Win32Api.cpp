#include "platform/Win32Api.h"

#include <sddl.h>

namespace platform {

namespace {

HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Without the loader update the flag is refused: name the full path instead.
    const std::u16string path = SystemDirectory() + u"\\" + FromWide(name, wcslen(name));
    return ::LoadLibraryExW(Wide(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The functions of a DLL, looked up once; a DLL loaded here stays loaded
// until the process ends.
template <typename Api>
Api LookUp(const wchar_t* dll, bool loadedAlready) {
    Api api;
    const HMODULE module = loadedAlready ? ::GetModuleHandleW(dll) : LoadSystemLibrary(dll);
    if (module) api.LookUp(module);
    else api.error = ::GetLastError();
    return api;
}

}  // namespace

const WinspoolApi& Winspool() {
    static const WinspoolApi api = LookUp<WinspoolApi>(L"winspool.drv", false);
    return api;
}
const Kernel32Api& Kernel32() {
    static const Kernel32Api api = LookUp<Kernel32Api>(L"kernel32.dll", true);
    return api;
}
const User32Api& User32() {
    static const User32Api api = LookUp<User32Api>(L"user32.dll", true);
    return api;
}
const Shell32Api& Shell32() {
    static const Shell32Api api = LookUp<Shell32Api>(L"shell32.dll", false);
    return api;
}
const WintrustApi& Wintrust() {
    static const WintrustApi api = LookUp<WintrustApi>(L"wintrust.dll", false);
    return api;
}
const Crypt32Api& Crypt32() {
    static const Crypt32Api api = LookUp<Crypt32Api>(L"crypt32.dll", false);
    return api;
}
const SetupApi& Setup() {
    static const SetupApi api = LookUp<SetupApi>(L"setupapi.dll", false);
    return api;
}
const NtdllApi& Ntdll() {
    static const NtdllApi api = LookUp<NtdllApi>(L"ntdll.dll", true);
    return api;
}
const Ole32Api& Ole32() {
    static const Ole32Api api = LookUp<Ole32Api>(L"ole32.dll", false);
    return api;
}

void RestrictDllSearchToSystem() {
    // Absent on Windows 7 without its loader update.
    if (const auto set = Kernel32().SetDefaultDllDirectories) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetDllDirectoryW(L"");  // drops the current directory from the search either way
}

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

std::u16string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text)) return {};
    const LocalMemory owned(text);
    return FromWide(text, wcslen(text));
}

std::vector<BYTE> TokenUserOfProcess() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const KernelHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

}  // namespace platform
