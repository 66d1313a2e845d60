// The operating-system services the window and the printer setup workflows use.
// One interface, so that the same logic runs against Windows in the exe and
// against a recording stand-in in the host tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Width and height of the primary screen, in twips (1/1440 inch).
struct TwipSize {
    float width = 0;
    float height = 0;
};

// A process that was started, owned: what waiting for it needs. Whatever the
// platform keeps for it (on Windows the process handle) is released with it.
class StartedProcess {
public:
    struct Handle {
        virtual ~Handle() = default;
    };

    StartedProcess() = default;
    explicit StartedProcess(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

    Handle* get() const { return handle_.get(); }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    std::unique_ptr<Handle> handle_;
};

// What happened when a process was to be started.
struct StartResult {
    bool started = false;
    std::uint32_t error = 0;   // the system's error code when not started
    std::u16string reason;     // the system's text for that error
    StartedProcess process;    // when started
};

enum class WaitResult { AllEnded, TimedOut };

// The kinds of event the programs write to the Application event log.
enum class EventType { Information, Error };

// Names the print system lists, or why it could not list them. A failed
// listing is not an empty one.
struct NameList {
    bool listed = false;
    std::vector<std::u16string> names;
    std::u16string reason;  // when not listed
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual TwipSize ScreenSize() = 0;
    // The argument text after the program name and the blanks that follow it.
    virtual std::u16string CommandLineArguments() = 0;
    // The folder of the program file, never with a trailing separator.
    virtual std::u16string ProgramDirectory() = 0;
    // Starts `commandLine` with the program `systemProgram` (a file name in the
    // system directory), minimized and active, and returns without waiting.
    virtual StartResult RunDetached(std::u16string_view systemProgram, std::u16string_view commandLine) = 0;
    // Waits until every one of `processes` has ended, `timeoutMilliseconds` at
    // most for all of them together. The window keeps handling its messages
    // meanwhile.
    virtual WaitResult WaitForProcesses(const std::vector<StartedProcess>& processes,
                                        std::uint32_t timeoutMilliseconds) = 0;
    // Printer names, in the order the print system lists them.
    virtual NameList ListPrinters() = 0;
    // The model names of the installed printer drivers.
    virtual NameList ListPrinterDrivers() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Writes one event of the source "PortSetup" to the Application event
    // log, with `text` as its one insertion string. An event that cannot be
    // written is let go: false, and nothing else changes.
    virtual bool WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) = 0;
};

}  // namespace platform
