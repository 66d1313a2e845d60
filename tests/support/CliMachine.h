// A machine for whole PortSetupCli runs in the host tests: the print system
// stand-in, the in-memory registry, a captured console and the driver package
// in C:\Program Files\PortSetup.
#pragma once

#include "cli/Cli.h"
#include "setup/Product.h"
#include "support/MemoryRegistry.h"
#include "support/RecordingPlatform.h"

#include <gtest/gtest.h>

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

// A driver package's INF as a vendor ships it: a catalog, a version, and the
// model in a models section for each processor.
inline constexpr const char* kVendorInf =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\nCatalogFile=prt3q42wd32.cat\r\n"
    "DriverVer=06/21/2024,1.2.3.4\r\n\r\n[Manufacturer]\r\n%Kaldo%=Kaldo,NTamd64,NTx86 ; two processors\r\n\r\n"
    "[Kaldo.NTamd64]\r\n\"KALDO QTX_VELTRO\"=KALDOQTX,KALDO_QTX_VELTRO\r\n\r\n[Kaldo.NTx86]\r\n"
    "%Model%=KALDOQTX,KALDO_QTX_VELTRO\r\n\r\n[Strings]\r\nKaldo=\"KALDO\"\r\nModel=\"KALDO QTX_VELTRO\"\r\n";

// Puts that package (the INF and its catalog) into `folder`.
inline void PutVendorPackage(RecordingPlatform& platform, const std::u16string& folder) {
    platform.files[folder + u"\\PRT3Q42WD32.inf"] = kVendorInf;
    platform.files[folder + u"\\prt3q42wd32.cat"] = "catalog";
}

struct CliMachine {
    static constexpr const char* kPorts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

    RecordingPlatform platform;
    MemoryRegistry registry;
    CapturedConsole console;

    CliMachine() {
        platform.programDirectory = u"C:\\Program Files\\PortSetup";
        PutVendorPackage(platform, u"C:\\Program Files\\PortSetup");
    }
    // One run, with the console and the record of starts and waits new.
    int Run(const std::vector<std::u16string>& args, const setup::Product& product = setup::kProducts[0]) {
        console = {};
        platform.events.clear();
        return cli::RunCli(cli::ReadCommandLine(args), platform.Seams(registry), console, product);
    }
    // Our printer on COM3 beside "Office" (the default), both drivers installed.
    void InstallOursBesideOffice() {
        platform.printers = {u"Office", std::u16string(setup::PrinterName)};
        platform.printerDrivers = {{u"Office", u"Generic"},
                                   {std::u16string(setup::PrinterName), std::u16string(setup::DriverModel)}};
        platform.printerPorts = {{u"Office", u"LPT1:"}, {std::u16string(setup::PrinterName), u"COM3:"}};
        platform.drivers = {u"Generic", std::u16string(setup::DriverModel)};
        platform.defaultPrinter = u"Office";
    }
    // The machine log's content; "" when there is none.
    std::string Log() const {
        auto it = platform.files.find(u"C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log");
        return it == platform.files.end() ? "" : it->second;
    }
    // The one event of the last run.
    const RecordingPlatform::LoggedEvent& OnlyEvent() const {
        EXPECT_EQ(1u, platform.eventLog.size());
        return platform.eventLog.back();
    }
    // A Ports value, or "<none>".
    std::string Port(const std::string& name) const {
        auto value = registry.Get(kPorts, name);
        return value ? std::string(reinterpret_cast<const char*>(value->data.data())) : "<none>";
    }
};

}  // namespace testing_support
