// A machine for whole PortSetupCli runs in the host tests: the print system
// stand-in, the in-memory registry, a captured console and the driver package
// in C:\Program Files\PortSetup.
#pragma once

#include "cli/Cli.h"
#include "support/MemoryRegistry.h"
#include "support/RecordingPlatform.h"

#include <algorithm>
#include <string>
#include <vector>

namespace testing_support {

struct CapturedConsole : cli::Console {
    std::vector<std::u16string> out, err;
    void Out(std::u16string_view line) override { out.emplace_back(line); }
    void Err(std::u16string_view line) override { err.emplace_back(line); }
    static bool Has(const std::vector<std::u16string>& lines, std::u16string_view part) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::u16string& l) { return l.find(part) != std::u16string::npos; });
    }
    bool OutHas(std::u16string_view part) const { return Has(out, part); }
};

struct CliMachine {
    static constexpr const char* kPorts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

    RecordingPlatform platform;
    MemoryRegistry registry;
    CapturedConsole console;

    CliMachine() {
        platform.programDirectory = u"C:\\Program Files\\PortSetup";
        platform.files[u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf"] = "[Version]";
    }
    // One run, with the console and the record of starts and waits new.
    int Run(const std::vector<std::u16string>& args) {
        console = {};
        platform.events.clear();
        return cli::RunCli(cli::ReadCommandLine(args), platform.Seams(registry), console);
    }
    // A Ports value, or "<none>".
    std::string Port(const std::string& name) const {
        auto value = registry.Get(kPorts, name);
        return value ? std::string(reinterpret_cast<const char*>(value->data.data())) : "<none>";
    }
};

}  // namespace testing_support
