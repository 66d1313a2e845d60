// Which COM ports the machine has: read from SERIALCOMM, shown by status,
// and warned about by an install on a port that is not there.
#include "setup/Status.h"
#include "setup/Text.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::EventType;
using namespace setup;

namespace {

struct Machine : testing_support::CliMachine {
    Machine() { platform.serialComm = {u"COM1", u"COM3"}; }
};

bool Has(std::u16string_view text, std::u16string_view part) { return text.find(part) != std::u16string_view::npos; }

TEST(PresentComPorts, TheComPortsOfSerialCommOnceEachInWindowsOrder) {
    EXPECT_TRUE(PresentComPorts({}).empty());
    EXPECT_EQ((std::vector<std::u16string>{u"COM1", u"COM3"}), PresentComPorts({u"COM3", u"COM1"}));
    // Gaps stay gaps; numbers sort as numbers; a port listed twice is one.
    EXPECT_EQ((std::vector<std::u16string>{u"COM2", u"COM9", u"COM10", u"COM256"}),
              PresentComPorts({u"COM10", u"COM256", u"COM9", u"com2", u"COM10"}));
    // Not COM ports: other devices' names, and names that only look alike.
    EXPECT_EQ(std::vector<std::u16string>{u"COM7"},
              PresentComPorts({u"CNCA0", u"COM7", u"COM", u"COM0", u"COM07", u"COM3x", u"LPT1", u"", u"COM-1",
                               u"COM12345678901"}));
}

TEST(PresentComPorts, StatusSaysWhichPortsThereAre) {
    Machine m;
    m.platform.serialComm = {u"COM4", u"COM1", u"COM12"};
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"COM ports on this machine: COM1, COM4, COM12"));
    EXPECT_TRUE(m.console.OutHas(u"  COM1: (none) (the port is present)"));
    EXPECT_TRUE(m.console.OutHas(u"  COM3: (none) (the port is not present on this machine)"));

    m.platform.serialComm.clear();  // a missing key: no ports
    m.Run({u"status", u"--json"});
    ASSERT_EQ(1u, m.console.out.size());
    EXPECT_TRUE(Has(m.console.out[0], u",\"presentComPorts\":[],"));

    m.platform.serialCommFails = u"Access is denied.";
    m.Run({u"status", u"--json"});
    EXPECT_TRUE(Has(m.console.out[0], u",\"presentComPorts\":null,"));
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"COM ports on this machine: unknown (Access is denied.)"));
    EXPECT_TRUE(m.console.OutHas(u"  COM3: (none)"));
    EXPECT_FALSE(m.console.OutHas(u"present)"));
}

TEST(PresentComPorts, AnInstallOnAnAbsentPortWarnsAndGoesOn) {
    const std::u16string warning = u"COM2 is not present on this machine; present: COM1, COM3";
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: " + warning));
    EXPECT_NE(std::string::npos, m.Log().find(setup::Utf8(u"warning: " + warning)));
    EXPECT_TRUE(Has(m.OnlyEvent().text, u"\r\nWarning: " + warning + u"\r\n"));
    EXPECT_EQ(EventType::Information, m.OnlyEvent().type);
    EXPECT_EQ(std::u16string(PrinterName), m.platform.defaultPrinter);

    // A present port, USB and a machine with no serial ports at all.
    m.platform.eventLog.clear();
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3"}));
    EXPECT_FALSE(m.console.OutHas(u"warning:"));
    EXPECT_FALSE(Has(m.OnlyEvent().text, u"Warning:"));
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB"}));
    EXPECT_FALSE(m.console.OutHas(u"warning:"));
    m.platform.serialComm.clear();
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: COM1 is not present on this machine; present: none"));
    m.platform.serialCommFails = u"Access is denied.";
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: the serial ports of this machine cannot be read (Access is denied.)"));
    // status --port stays about what is installed.
    m.platform.serialCommFails.reset();
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM1"}));
}

}  // namespace
