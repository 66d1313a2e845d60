#include "platform/CommandLineText.h"
#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <string>

namespace platform {

unsigned ScreenDpi() {
    if (const auto get = User32().GetDpiForSystem)
        if (const UINT dpi = get()) return dpi;
    const WindowDC screen(nullptr);
    const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

TwipSize Win32Machine::ScreenSize() {
    const float twipsPerPixel = 1440.0f / static_cast<float>(ScreenDpi());
    return {static_cast<float>(::GetSystemMetrics(SM_CXSCREEN)) * twipsPerPixel,
            static_cast<float>(::GetSystemMetrics(SM_CYSCREEN)) * twipsPerPixel};
}

std::u16string Win32Machine::CommandLineArguments() {
    const wchar_t* line = ::GetCommandLineW();
    return ArgumentsOf(FromWide(line, wcslen(line)));
}

std::u16string Win32Machine::ProgramDirectory() {
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

std::u16string Win32Machine::NativeProcessor() {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return u"amd64";
    case PROCESSOR_ARCHITECTURE_ARM64: return u"arm64";
    case PROCESSOR_ARCHITECTURE_IA64: return u"ia64";
    default: return u"x86";
    }
}

std::u16string Win32Machine::ProgramProcessor() {
#if defined(__x86_64__) || defined(_M_X64)
    return u"amd64";
#elif defined(__aarch64__) || defined(_M_ARM64)
    return u"arm64";
#else
    return u"x86";
#endif
}

}  // namespace platform
