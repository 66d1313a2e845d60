// An unattended install or removal ends in the state asked for, from
// whatever state it finds: as asked already, the printer on another port or
// of another driver, half done by a run that was killed.
#include "cli/Cli.h"
#include "setup/CommandLines.h"
#include "setup/DefaultPrinter.h"
#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/Remove.h"
#include "setup/Status.h"
#include "setup/TestPrint.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using testing_support::MemoryRegistry;
using testing_support::RecordingPlatform;
using namespace setup;

namespace {

// Test constants: a string that cannot be built ends the test run anyway.
// NOLINTBEGIN(cert-err58-cpp)
const std::u16string kPrinter(PrinterName);
const std::u16string kDriver(DriverModel);
const std::u16string kInf = u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf";
// NOLINTEND(cert-err58-cpp)


struct Machine : testing_support::CliMachine {
    Machine() {
        for (const char* port : {"COM1:", "COM2:", "COM3:", "COM4:"}) registry.PutString(kPorts, port, "9600,n,8,1");
        // Every operation takes a while, as a loaded print system's does.
        platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return 700; };
    }
    void Printer(const std::u16string& name, const std::u16string& port, const std::u16string& driver) {
        platform.printers.push_back(name);
        platform.printerPorts[name] = port;
        platform.printerDrivers[name] = driver;
        if (std::find(platform.drivers.begin(), platform.drivers.end(), driver) == platform.drivers.end())
            platform.drivers.push_back(driver);
    }
    std::u16string InstallLine(const std::u16string& port) const {
        return QuietCommandLine(InstallOnComPortCommandLine(u"C:\\Program Files\\PortSetup", port, InfQuoting::Always, setup::kVeltro));
    }
};

TEST(Converge, TheSameInstallTwiceChangesNothingTheSecondTime) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3", u"--settings", u"19200,e,7,1,x"}));
    EXPECT_FALSE(m.console.Has(m.console.out, u"already installed as asked"));
    const auto printers = m.platform.printers;
    const auto ports = m.platform.printerPorts;

    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3", u"--settings", u"19200,e,7,1,x"}));
    // The driver install runs again (it may bring a newer driver); it adds no printer and nothing else starts.
    EXPECT_EQ(std::vector<std::u16string>{m.InstallLine(u"COM3:")}, m.platform.Started());
    EXPECT_EQ("failed", m.platform.ended.back().outcome);
    EXPECT_TRUE(m.console.Has(m.console.out, u"already installed as asked"));
    EXPECT_EQ(printers, m.platform.printers);
    EXPECT_EQ(ports, m.platform.printerPorts);
    EXPECT_EQ("19200,e,7,1,x", m.Port("COM3:"));

    // Other settings for the same port are stored; nothing else changes.
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3", u"--settings", u"2400,n,8,1"}));
    EXPECT_EQ(1u, m.platform.Started().size());
    EXPECT_EQ("2400,n,8,1", m.Port("COM3:"));
    EXPECT_FALSE(m.console.Has(m.console.out, u"already installed as asked"));
}

TEST(Converge, APrinterOfOursOnAnotherPortIsMovedAndKept) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3", u"--settings", u"38400,o,8,2,x"}));
    EXPECT_EQ((std::vector<std::u16string>{m.InstallLine(u"COM3:"), SetPrinterPortCommandLine(kPrinter, u"COM3:")}),
              m.platform.Started());
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /q /Xs /n \"KALDO Veltro MiniPrinter\" PortName \"COM3:\"",
              SetPrinterPortCommandLine(kPrinter, u"COM3:"));
    EXPECT_TRUE(m.console.Has(m.console.out, u"moved from COM1: to COM3:"));
    EXPECT_EQ(std::vector<std::u16string>{kPrinter}, m.platform.printers);
    EXPECT_EQ(u"COM3:", m.platform.printerPorts[kPrinter]);
    EXPECT_EQ("38400,o,8,2,x", m.Port("COM3:"));
    EXPECT_EQ("9600,n,8,1,p", m.Port("COM1:"));  // the earlier run's, left
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM3", u"--settings", u"38400,o,8,2,x"}));
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--port", u"COM1"}));

    // A move the print system refuses: said, and failed.
    m.platform.failsOnPurpose = [](std::u16string_view line) { return line.find(u"/Xs") != std::u16string_view::npos; };
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM2"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"could not be moved from COM3: to COM2:; it is on \"COM3:\""));
    EXPECT_EQ("9600,n,8,1", m.Port("COM2:"));
}

TEST(Converge, APrinterOfOurNameWithAnotherDriverIsNotOurs) {
    Machine m;
    m.Printer(kPrinter, u"COM2:", u"Generic / Text Only");
    m.platform.defaultPrinter = u"Office";
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM2"}));
    EXPECT_EQ(std::vector<std::u16string>{m.InstallLine(u"COM2:")}, m.platform.Started());
    EXPECT_TRUE(m.console.Has(m.console.err, u"uses the driver \"Generic / Text Only\", not \"KALDO QTX_VELTRO\""));
    EXPECT_EQ(u"Generic / Text Only", m.platform.printerDrivers[kPrinter]);
    EXPECT_EQ(u"COM2:", m.platform.printerPorts[kPrinter]);
    EXPECT_EQ(u"Office", m.platform.defaultPrinter);
    EXPECT_EQ("9600,n,8,1", m.Port("COM2:"));
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM4"}));  // nor is it moved
    EXPECT_EQ(u"COM2:", m.platform.printerPorts[kPrinter]);
}

TEST(Converge, APrinterTheInstallDidNotAddFailsTheRun) {
    Machine m;
    m.platform.failsOnPurpose = [](std::u16string_view line) { return line.find(u"/if") != std::u16string_view::npos; };
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM2"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"was not installed"));
    EXPECT_EQ(1u, m.platform.Started().size());
}

TEST(Converge, UsbLeavesAPrinterOfOurNameOnItsComPort) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    m.platform.defaultPrinter = u"Office";
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
    EXPECT_EQ(u"COM1:", m.platform.printerPorts[kPrinter]);
    EXPECT_EQ(kPrinter, m.platform.defaultPrinter);
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
    EXPECT_EQ(2u, m.platform.Started().size());  // the driver and the driver store
    EXPECT_TRUE(m.console.Has(m.console.out, u"already installed as asked"));

    // A first USB install, with no printer to make the default, installed something.
    Machine fresh;
    ASSERT_EQ(kExitDone, fresh.Run({u"install", u"--port", u"USB"}));
    EXPECT_FALSE(fresh.console.Has(fresh.console.out, u"already installed as asked"));
    ASSERT_EQ(kExitDone, fresh.Run({u"install", u"--port", u"USB"}));
    EXPECT_TRUE(fresh.console.Has(fresh.console.out, u"already installed as asked"));
}

TEST(Converge, RemoveWithNothingInstalledStartsNothing) {
    Machine m;
    m.Printer(u"Office", u"LPT1:", u"Generic / Text Only");
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_TRUE(m.platform.Started().empty());
    EXPECT_TRUE(m.console.Has(m.console.out, u"no printer or driver to remove"));
    EXPECT_TRUE(m.console.Has(m.console.out, u"is not in the driver store"));
    EXPECT_EQ(std::vector<std::u16string>{u"Office"}, m.platform.printers);
}

TEST(Converge, WhatAKilledRunLeftIsFinishedByTheNextOne) {
    {  // the printer added; killed before the default and the Ports value
        Machine m;
        m.Printer(kPrinter, u"COM4:", kDriver);
        m.platform.defaultPrinter = u"Office";
        EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--port", u"COM4", u"--settings", u"4800,m,5,1.5", u"--default"}));
        EXPECT_TRUE(m.console.Has(m.console.out, u"is not the default printer"));
        EXPECT_TRUE(m.console.Has(m.console.out, u"the settings of COM4: are 9600,n,8,1, not 4800,m,5,1.5"));
        // A detection as SYSTEM counts the machine's state only: another default does not flap it.
        m.registry.PutString(Machine::kPorts, "COM4:", "4800,m,5,1.5");
        EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM4", u"--settings", u"4800,m,5,1.5"}));
        EXPECT_TRUE(m.console.Has(m.console.out, u"Office"));
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM4", u"--settings", u"4800,m,5,1.5"}));
        EXPECT_EQ((std::vector<std::u16string>{m.InstallLine(u"COM4:"), SetDefaultPrinterCommandLine(kPrinter)}),
                  m.platform.Started());
        EXPECT_EQ(kPrinter, m.platform.defaultPrinter);
        EXPECT_EQ("4800,m,5,1.5", m.Port("COM4:"));
        EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM4", u"--settings", u"4800,m,5,1.5"}));
    }
    {  // the install command killed before it added the printer
        Machine m;
        m.platform.drivers = {kDriver};
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}));
        EXPECT_EQ(u"COM2:", m.platform.printerPorts[kPrinter]);
    }
    {  // some printers of a removal deleted, one left; then the driver delete started and killed
        Machine m;
        m.Printer(u"POS B", u"COM2:", kDriver);
        m.Printer(u"Office", u"LPT1:", u"Generic / Text Only");
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(std::vector<std::u16string>{u"Office"}, m.platform.printers);
        EXPECT_TRUE(m.platform.drivers == std::vector<std::u16string>{u"Generic / Text Only"});
        m.platform.drivers.push_back(kDriver);  // the delete did not get to it
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(std::vector<std::u16string>{DeleteDriverCommandLine(setup::kVeltro)}, m.platform.Started());
        EXPECT_EQ(std::vector<std::u16string>{u"Generic / Text Only"}, m.platform.drivers);
    }
}

}  // namespace
