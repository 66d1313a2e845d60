// A platform stand-in for host tests: it records every start and sleep in one
// ordered log, lists the printers a test gives it, and can refuse a start.
#pragma once

#include "platform/Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class RecordingPlatform : public platform::Platform {
public:
    struct Event {
        enum class Kind { Start, Sleep, ListPrinters } kind;
        std::u16string program;      // Start: the system program run
        std::u16string commandLine;  // Start: its command line
        std::uint32_t milliseconds = 0;  // Sleep
    };

    platform::TwipSize screen{15360, 11520};  // 1024 x 768 at 96 DPI
    std::u16string arguments;
    std::u16string programDirectory = u"C:\\Setup";
    std::vector<std::u16string> printers;
    // When set, the start with this zero-based number fails with error 2.
    std::optional<std::size_t> failStartNumber;

    std::vector<Event> events;

    platform::TwipSize ScreenSize() override { return screen; }
    std::u16string CommandLineArguments() override { return arguments; }
    std::u16string ProgramDirectory() override { return programDirectory; }

    platform::StartResult RunDetached(std::u16string_view program, std::u16string_view commandLine) override {
        const std::size_t number = startAttempts_++;
        if (failStartNumber && *failStartNumber == number)
            return {false, 2, u"The system cannot find the file specified."};
        events.push_back({Event::Kind::Start, std::u16string(program), std::u16string(commandLine), 0});
        return {true, 0, {}};
    }

    std::vector<std::u16string> ListPrinters() override {
        events.push_back({Event::Kind::ListPrinters, {}, {}, 0});
        return printers;
    }

    void Sleep(std::uint32_t milliseconds) override {
        events.push_back({Event::Kind::Sleep, {}, {}, milliseconds});
    }

    // The command lines started, in order.
    std::vector<std::u16string> Started() const {
        std::vector<std::u16string> lines;
        for (const auto& e : events)
            if (e.kind == Event::Kind::Start) lines.push_back(e.commandLine);
        return lines;
    }

private:
    std::size_t startAttempts_ = 0;
};

}  // namespace testing_support
