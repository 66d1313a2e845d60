// PortSetupCli's entry point: the arguments as Windows splits them, and
// output that stays right for any text, on a console (WriteConsoleW) or
// redirected to a file or pipe (UTF-8).
#include "cli/Arguments.h"
#include "cli/Cli.h"
#include "platform/Win32Platform.h"
#include "platform/Win32Registry.h"
#include "platform/Win32System.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

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

// set-default runs while a user signs in: a print system that does not
// answer (a listing or a call that blocks) must not hold the sign-in longer
// than its time allows. The run is ended with exit code 1 then.
struct Overdue {
    DWORD milliseconds = 0;
    std::vector<std::u16string> arguments;  // for the run's event
};

DWORD WINAPI EndWhenOverdue(void* parameter) {
    const auto* overdue = static_cast<const Overdue*>(parameter);
    ::Sleep(overdue->milliseconds);
    static constexpr std::u16string_view kReason =
        u"the print system did not answer in time; the default printer was not set.";
    Win32Console().Err(u"PortSetupCli: " + std::u16string(kReason));
    platform::Win32Platform platform;
    cli::ReportRunEvent(platform, overdue->arguments, 1, kReason);
    ::ExitProcess(1);
}

void LimitSetDefault(const std::vector<std::u16string>& arguments) {
    if (arguments.empty() || arguments[0] != u"set-default") return;
    const cli::Parsed parsed = cli::ParseArguments(arguments);
    if (!parsed.command) return;
    const std::uint64_t limit =
        parsed.command->timeoutSeconds ? *parsed.command->timeoutSeconds * 1000ull : 30000ull;
    // A little past the run's own limit, which ends a printer setup command
    // that does not end with a message of its own. Never freed: the
    // watchdog may read it until the process ends, static destructors and all.
    auto* overdue = new Overdue{static_cast<DWORD>(std::min<std::uint64_t>(limit + 1000, 0xFFFFFFF0u)), arguments};
    const platform::KernelHandle thread(::CreateThread(nullptr, 0, EndWhenOverdue, overdue, 0, nullptr));
}

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
    LimitSetDefault(arguments);
    try {
        return cli::RunCli(arguments, platform, system, registry, console);
    } catch (const std::exception&) {
        console.Err(u"PortSetupCli: an internal error ended the run.");
        try {
            cli::ReportRunEvent(platform, arguments, 1, u"an internal error ended the run.");
        } catch (const std::exception&) {
        }
        return 1;
    }
}
