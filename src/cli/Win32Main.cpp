// PortSetupCli's entry point: the arguments as Windows splits them, and
// output that stays right for any text, on a console (WriteConsoleW) or
// redirected to a file or pipe (UTF-8).
#include "cli/Cli.h"
#include "cli/Verbs.h"
#include "platform/Win32Api.h"
#include "platform/Win32Registry.h"
#include "platform/Win32Seams.h"
#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/RunLimits.h"
#include "setup/Product.h"
#include "setup/Text.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace {

// When the run last said a step: the stall watchdog's measure of progress.
std::atomic<ULONGLONG> lastSaid{0};

class Win32Console : public cli::Console {
public:
    void Out(std::u16string_view line) override { Write(::GetStdHandle(STD_OUTPUT_HANDLE), line); }
    void Err(std::u16string_view line) override { Write(::GetStdHandle(STD_ERROR_HANDLE), line); }

private:
    static void Write(HANDLE handle, std::u16string_view line) {
        lastSaid = ::GetTickCount64();
        if (!handle || handle == INVALID_HANDLE_VALUE) return;
        std::u16string text(line);
        text += u"\r\n";
        DWORD mode = 0;
        DWORD written = 0;
        if (::GetConsoleMode(handle, &mode)) {
            ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            const std::string bytes = setup::Utf8(text);
            ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
};

// set-default runs while a user signs in, test-print while someone waits: a
// print system that does not answer (a lookup, a listing or a call that
// blocks) must not hold them longer than their time allows. The run is ended
// with exit code 1460 then, having said so and, for set-default under Active
// Setup (--quiet), arranged one more try at the next sign-in; saying so gets
// a few seconds, since the event log may not answer either: the limit holds
// whatever it does.
struct Overdue {
    DWORD milliseconds = 0;
    const cli::CommandLine* line = nullptr;  // for the run's event
};

constexpr DWORD kSayingOverdueMilliseconds = 3000;

DWORD WINAPI SayOverdue(void* parameter) {
    const auto* overdue = static_cast<const Overdue*>(parameter);
    const auto& command = *overdue->line->parsed.command;
    const bool setDefault = command.action == cli::Action::SetDefault;
    const std::u16string_view kReason = setDefault
                                            ? u"the print system did not answer in time; the default printer was not set."
                                            : u"the print system did not answer in time; no test page was printed.";
    Win32Console().Err(u"PortSetupCli: " + std::u16string(kReason));
    std::vector<std::u16string> warnings;
    platform::Win32System machine;
    platform::Win32Registry registry;
    if (setDefault && command.quiet) warnings.push_back(cli::ArrangeRetryAtNextSignIn(machine, registry));
    platform::Win32Printers printers;
    platform::Win32Processes processes;
    platform::Win32Files files;
    platform::Win32EventLog events;
    platform::Win32Services services;
    cli::ReportRunEvent({machine, printers, processes, files, registry, events, services}, *overdue->line,
                        setup::kExitTimedOut, kReason, {}, warnings);
    return 0;
}

DWORD WINAPI EndWhenOverdue(void* parameter) {
    const auto* overdue = static_cast<const Overdue*>(parameter);
    ::Sleep(overdue->milliseconds);
    const platform::KernelHandle saying(::CreateThread(nullptr, 0, SayOverdue, parameter, 0, nullptr));
    if (saying) ::WaitForSingleObject(saying.get(), kSayingOverdueMilliseconds);
    ::ExitProcess(setup::kExitTimedOut);
}

// install, repair and remove: a call into the print system (or the registry,
// or the file system) that never returns must not hold a deployment, which
// may hold Windows Installer's lock meanwhile. Each printer setup command has
// its own time limit; a run that has said no step for longer than that and
// a margin ends with 1460, its event and its last verdict.
struct Stall {
    ULONGLONG milliseconds = 0;
    const cli::CommandLine* line = nullptr;
};

DWORD WINAPI SayStalled(void* parameter) {
    const auto* stall = static_cast<const Stall*>(parameter);
    const std::u16string reason = u"the run said no step for " + setup::Number(stall->milliseconds / 1000) +
                                  u" s: a call into the print system, the registry or the file system did not "
                                  u"return; the run ends here.";
    Win32Console().Err(u"PortSetupCli: " + reason);
    Win32Console().Out(u"failed");
    platform::Win32System machine;
    platform::Win32Registry registry;
    platform::Win32Printers printers;
    platform::Win32Processes processes;
    platform::Win32Files files;
    platform::Win32EventLog events;
    platform::Win32Services services;
    cli::ReportRunEvent({machine, printers, processes, files, registry, events, services}, *stall->line,
                        setup::kExitTimedOut, reason);
    return 0;
}

DWORD WINAPI EndWhenStalled(void* parameter) {
    const auto* stall = static_cast<const Stall*>(parameter);
    for (;;) {
        ::Sleep(1000);
        if (::GetTickCount64() - lastSaid <= stall->milliseconds) continue;
        const platform::KernelHandle saying(::CreateThread(nullptr, 0, SayStalled, parameter, 0, nullptr));
        if (saying) ::WaitForSingleObject(saying.get(), kSayingOverdueMilliseconds);
        ::ExitProcess(setup::kExitTimedOut);
    }
}

void WatchMachineRun(const cli::CommandLine& line) {
    const auto& command = line.parsed.command;
    const cli::Verb* verb = command ? cli::VerbFor(command->action) : nullptr;
    if (!verb || !verb->takesMachineRun) return;
    lastSaid = ::GetTickCount64();
    const std::uint32_t timeout =
        command->timeoutSeconds ? *command->timeoutSeconds * 1000u : setup::kDefaultCommandTimeoutMilliseconds;
    // Never freed, as the set-default watchdog's.
    auto* stall = new Stall{setup::StallLimitMilliseconds(timeout), &line};
    const platform::KernelHandle thread(::CreateThread(nullptr, 0, EndWhenStalled, stall, 0, nullptr));
}

void LimitWholeRun(const cli::CommandLine& line) {
    const auto& command = line.parsed.command;
    const auto limit = command ? cli::WholeRunLimitMilliseconds(*command) : std::nullopt;
    if (!limit) return;
    // Never freed: the watchdog may read it until the process ends, static
    // destructors and all.
    auto* overdue = new Overdue{static_cast<DWORD>(std::min<std::uint64_t>(*limit, 0xFFFFFFF0u)), &line};
    const platform::KernelHandle thread(::CreateThread(nullptr, 0, EndWhenOverdue, overdue, 0, nullptr));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // DLLs loaded from now on come from the system directory only.
    platform::RestrictDllSearchToSystem();
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(platform::FromWide(argv[i], wcslen(argv[i])));
    // Parsed once, here; never freed, as the watchdog may read it to the end.
    const auto* line = new cli::CommandLine(cli::ReadCommandLine(std::move(arguments)));
    platform::Win32System machine;
    platform::Win32Printers printers;
    platform::Win32Processes processes;
    platform::Win32Files files;
    platform::Win32Registry registry;
    platform::Win32EventLog events;
    platform::Win32Services services;
    Win32Console console;
    LimitWholeRun(*line);
    WatchMachineRun(*line);
    try {
        return cli::RunCli(*line, {machine, printers, processes, files, registry, events, services}, console,
                           setup::kVeltro);
    } catch (const std::exception&) {
        console.Err(u"PortSetupCli: an internal error ended the run.");
        try {
            cli::ReportRunEvent({machine, printers, processes, files, registry, events, services}, *line,
                                setup::kExitFailed, u"an internal error ended the run.");
        } catch (const std::exception&) {
        }
        return setup::kExitFailed;
    }
}
