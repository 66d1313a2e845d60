// The operating-system services the window and the printer setup workflows use.
// One interface, so that the same logic runs against Windows in the exe and
// against a recording stand-in in the host tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Width and height of the primary screen, in twips (1/1440 inch).
struct TwipSize {
    float width = 0;
    float height = 0;
};

// What happened when a process was to be started.
struct StartResult {
    bool started = false;
    std::uint32_t error = 0;   // the system's error code when not started
    std::u16string reason;     // the system's text for that error
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
    virtual StartResult RunDetached(std::u16string_view systemProgram,
                                    std::u16string_view commandLine) = 0;
    // Printer names, in the order the print system lists them.
    virtual std::vector<std::u16string> ListPrinters() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
