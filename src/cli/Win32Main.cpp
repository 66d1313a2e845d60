// PortSetupCli's entry point: the arguments as Windows splits them, and
// output that stays right for any text, on a console (WriteConsoleW) or
// redirected to a file or pipe (UTF-8).
#include "cli/Cli.h"
#include "platform/Win32Platform.h"
#include "platform/Win32Registry.h"
#include "platform/Win32System.h"

#include <windows.h>

namespace {

class Win32Console : public cli::Console {
public:
    void Out(std::u16string_view line) override { Write(::GetStdHandle(STD_OUTPUT_HANDLE), line); }
    void Err(std::u16string_view line) override { Write(::GetStdHandle(STD_ERROR_HANDLE), line); }

private:
    static void Write(HANDLE handle, std::u16string_view line) {
        if (!handle || handle == INVALID_HANDLE_VALUE) return;
        std::u16string text(line);
        text += u"\r\n";
        DWORD mode = 0;
        DWORD written = 0;
        if (::GetConsoleMode(handle, &mode)) {
            ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            const std::string bytes = cli::Utf8(text);
            ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // DLLs loaded from now on come from the system directory only.
    platform::RestrictDllSearchToSystem();
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(platform::FromWide(argv[i], wcslen(argv[i])));
    platform::Win32Platform platform;
    platform::Win32System system;
    platform::Win32Registry registry;
    Win32Console console;
    try {
        return cli::RunCli(arguments, platform, system, registry, console);
    } catch (const std::exception&) {
        console.Err(u"PortSetupCli: an internal error ended the run.");
        return 1;
    }
}
