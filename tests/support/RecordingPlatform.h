// A platform stand-in for host tests. It records every start, wait, listing
// and sleep in one ordered log, and keeps a small print system with the rules
// Windows' print spooler keeps: started commands run for a time the test sets
// (or never end), take effect when they end, and a driver that a printer still
// uses cannot be deleted. Time is virtual: waits and sleeps advance it.
#pragma once

#include "platform/Platform.h"
#include "platform/System.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class RecordingPlatform : public platform::Platform, public platform::System {
public:
    struct Event {
        enum class Kind { Start, Wait, Sleep, ListPrinters, ListPrinterDrivers } kind;
        std::u16string program;          // Start: the system program run
        std::u16string commandLine;      // Start: its command line
        std::uint32_t milliseconds = 0;  // Sleep: its time; Wait: its time limit
        std::size_t processes = 0;       // Wait: how many processes it waited for
        std::uint64_t at = 0;            // virtual time when it happened
    };

    // How a started command ended, once it has.
    struct Ended {
        std::u16string commandLine;
        std::uint64_t startedAt = 0;
        std::uint64_t endedAt = 0;
        std::string outcome;  // "done", "refused" or "failed"
    };

    platform::TwipSize screen{15360, 11520};  // 1024 x 768 at 96 DPI
    std::u16string arguments;
    std::u16string programDirectory = u"C:\\Setup";

    // The print system: printers in listing order with their drivers as the
    // print system sees them, and the installed driver models.
    std::vector<std::u16string> printers;
    std::map<std::u16string, std::u16string> printerDrivers;
    std::map<std::u16string, std::u16string> printerPorts;
    std::vector<std::u16string> drivers;
    std::u16string defaultPrinter;
    // When set, the listing fails with this reason.
    std::optional<std::u16string> printerListingFails;
    std::optional<std::u16string> driverListingFails;

    // How long a started command runs, in ms; nothing for one that never ends.
    std::function<std::optional<std::uint32_t>(std::u16string_view commandLine)> runTime =
        [](std::u16string_view) -> std::optional<std::uint32_t> { return 0; };
    // When set, the start with this zero-based number fails with error 2.
    std::optional<std::size_t> failStartNumber;
    // Called at every wait, as the window's messages would be handled then.
    std::function<void()> duringWait;

    // The machine of unattended runs: files by full path (an installation
    // needs its INF file), the caller's rights, another run's claim.
    std::map<std::u16string, std::string> files{{u"C:\\Setup\\PRT3Q42WD32.inf", "[Version]"}};
    bool administrator = true;
    bool anotherRunActive = false;
    bool filesWritable = true;

    std::vector<Event> events;
    std::vector<Ended> ended;
    std::uint64_t now = 0;  // virtual milliseconds

    platform::TwipSize ScreenSize() override { return screen; }
    std::u16string CommandLineArguments() override { return arguments; }
    std::u16string ProgramDirectory() override { return programDirectory; }
    platform::StartResult RunDetached(std::u16string_view program, std::u16string_view commandLine) override;
    platform::WaitResult WaitForProcesses(const std::vector<platform::StartedProcess>& processes,
                                          std::uint32_t timeoutMilliseconds) override;
    platform::NameList ListPrinters() override;
    platform::NameList ListPrinterDrivers() override;
    void Sleep(std::uint32_t milliseconds) override;

    platform::PrinterInfoList ListPrinterDetails() override;
    std::u16string DefaultPrinter() override { return defaultPrinter; }
    std::optional<std::uint32_t> ExitCodeOf(const platform::StartedProcess&) override { return 0; }
    std::uint64_t Milliseconds() override { return now; }
    std::u16string LocalTimestamp() override { return u"2026-12-08T10:00:00+01:00"; }
    bool FileExists(std::u16string_view path) override { return files.count(std::u16string(path)) != 0; }
    std::u16string FullPath(std::u16string_view path) override;
    bool IsAdministrator() override { return administrator; }
    bool ClaimSingleRun() override { return !anotherRunActive; }
    std::u16string ProgramDataDirectory() override { return u"C:\\ProgramData"; }
    std::optional<std::uint64_t> FileSize(std::u16string_view path) override;
    bool AppendToFile(std::u16string_view path, std::string_view bytes, std::u16string& reason) override;
    bool RenameReplacing(std::u16string_view from, std::u16string_view to) override;

    // Lets virtual time run until every started command that ends has ended.
    void RunToEnd();

    // The command lines started, in order.
    std::vector<std::u16string> Started() const;
    // The events of one kind, in order.
    std::vector<Event> EventsOf(Event::Kind kind) const;

private:
    struct Running {
        std::u16string commandLine;
        std::uint64_t startedAt = 0;
        std::optional<std::uint64_t> endsAt;
        bool done = false;
    };
    struct Process;

    // Carries out, in the order they end, the commands that end by `time`.
    void AdvanceTo(std::uint64_t time);
    std::string CarryOut(const std::u16string& commandLine);

    std::vector<Running> running_;
    std::size_t startAttempts_ = 0;
};


}  // namespace testing_support
