// set-default: the printer becomes the default printer of the user who runs
// it, and stays so; no administrator rights, nothing of the machine's
// written. And whose default status and install speak of.
#include "setup/CommandLines.h"
#include "setup/DefaultPrinter.h"
#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/Remove.h"
#include "setup/Status.h"
#include "setup/TestPrint.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace setup;

namespace {

const char* const kUserWindows = "hkcu\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

struct Machine : testing_support::CliMachine {
    Machine() {
        platform.administrator = false;
        platform.runningUser = u"S-1-5-21-1-2-3-1001";
        platform.runningAccount = u"SHOP\\cashier1";
        platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return 900; };
    }
    void Installed() { InstallOursBesideOffice(); }
    std::optional<std::uint32_t> LegacyMode() const {
        auto value = registry.Get(kUserWindows, "LegacyDefaultPrinterMode");
        if (!value || value->type != platform::kRegDword || value->data.size() != 4) return std::nullopt;
        return static_cast<std::uint32_t>(value->data[0] | value->data[1] << 8 | value->data[2] << 16 |
                                          value->data[3] << 24);
    }
    void SetLegacyMode(std::uint32_t mode) {
        registry.Put(kUserWindows, "LegacyDefaultPrinterMode", platform::kRegDword,
                     {static_cast<std::uint8_t>(mode), 0, 0, 0});
    }
};

TEST(SetDefault, AStandardUserGetsThePrinterAsDefaultAndWindowsStopsManagingIt) {
    Machine m;
    m.Installed();
    const auto filesBefore = m.platform.files;
    ASSERT_EQ(kExitDone, m.Run({u"set-default"}));
    EXPECT_EQ(std::u16string(PrinterName), m.platform.defaultPrinter);
    EXPECT_EQ(1u, m.LegacyMode());
    EXPECT_EQ(std::vector<std::u16string>{SetDefaultPrinterCommandLine(PrinterName)}, m.platform.Started());
    EXPECT_TRUE(m.console.OutHas(u"Windows no longer manages the default printer of SHOP\\cashier1"));
    EXPECT_TRUE(m.console.OutHas(u"\"KALDO Veltro MiniPrinter\" is the default printer of SHOP\\cashier1"));
    EXPECT_EQ(u"done", m.console.out.back());
    // Nothing of the machine's: no key outside the user's, no file, no lock.
    EXPECT_FALSE(m.registry.KeyExists("SOFTWARE"));
    EXPECT_FALSE(m.registry.KeyExists("SOFTWARE\\PortSetup"));
    EXPECT_TRUE(m.platform.fileEvents.empty());
    EXPECT_TRUE(m.platform.locksHeld.empty());
    EXPECT_EQ(filesBefore, m.platform.files);
}

TEST(SetDefault, AsAskedAlreadyStartsNothing) {
    Machine m;
    m.Installed();
    m.platform.defaultPrinter = std::u16string(PrinterName);
    m.SetLegacyMode(1);
    ASSERT_EQ(kExitDone, m.Run({u"set-default", u"--quiet"}));
    EXPECT_TRUE(m.platform.Started().empty());
    EXPECT_TRUE(m.console.out.empty());
    EXPECT_TRUE(m.console.err.empty());
}

TEST(SetDefault, WithoutThePrinterNothingChanges) {
    Machine m;
    m.Installed();
    m.platform.printers = {u"Office"};
    EXPECT_EQ(kExitNoPrinter, m.Run({u"set-default", u"--quiet"}));
    EXPECT_TRUE(m.console.out.empty());
    EXPECT_TRUE(m.console.Has(m.console.err, u"No printer of the driver \"KALDO QTX_VELTRO\" is installed on this "
                                             u"machine yet (not \"KALDO Veltro MiniPrinter\", nor a USB printer's queue)"));
    EXPECT_EQ(u"Office", m.platform.defaultPrinter);
    EXPECT_FALSE(m.LegacyMode());
    EXPECT_TRUE(m.platform.Started().empty());

    // A printer of that name with another driver is not ours either.
    m.platform.printers = {std::u16string(PrinterName)};
    m.platform.printerDrivers = {{std::u16string(PrinterName), u"Generic"}};
    EXPECT_EQ(kExitNoPrinter, m.Run({u"set-default"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"uses the driver \"Generic\""));

    // The queues Plug and Play made for USB printers, named after the model:
    // the first by name is taken, and the run says so; status names it too.
    const std::pair<const char16_t*, const char16_t*> queues[] = {
        {u"KALDO QTX_VELTRO (Copy 1)", u"USB001"}, {u"KALDO QTX_VELTRO", u"USB002"}, {u"Office", u"COM1:"}};
    for (const auto& [queue, port] : queues) {
        m.platform.printers.push_back(queue);
        m.platform.printerDrivers[queue] = std::u16string(DriverModel);
        m.platform.printerPorts[queue] = port;
    }
    // A USB printer of another driver is not ours, first by name or not.
    m.platform.printers.push_back(u"A Label Printer");
    m.platform.printerDrivers[u"A Label Printer"] = u"Generic";
    m.platform.printerPorts[u"A Label Printer"] = u"USB003";
    EXPECT_EQ(kExitDone, m.Run({u"set-default"}));
    EXPECT_EQ(u"KALDO QTX_VELTRO", m.platform.defaultPrinter);
    EXPECT_TRUE(m.console.OutHas(u"2 printers of the driver are on USB ports (\"KALDO QTX_VELTRO\" on USB002, "
                                 u"\"KALDO QTX_VELTRO (Copy 1)\" on USB001); \"KALDO QTX_VELTRO\", the first by name, is taken"));
    EXPECT_EQ(kExitDone, m.Run({u"status"}));
    EXPECT_TRUE(m.console.OutHas(u"Our printer: KALDO QTX_VELTRO (2 printers of the driver"));

    m.platform.printerListingFails = u"The RPC server is unavailable.";
    EXPECT_EQ(kExitFailed, m.Run({u"set-default"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"could not be asked whether the printer \"KALDO Veltro MiniPrinter\" "
                                             u"is installed: The RPC server is unavailable."));
}

TEST(SetDefault, ADefaultNotTakenOrNotSetInTimeFailsWithOneAndSaysWhy) {
    Machine m;
    m.Installed();
    m.platform.failsOnPurpose = [](std::u16string_view line) { return line.find(u"/y") != std::u16string_view::npos; };
    EXPECT_EQ(kExitFailed, m.Run({u"set-default"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"could not be made the default printer of SHOP\\cashier1; it is "
                                             u"\"Office\"."));
    EXPECT_EQ(u"failed", m.console.out.back());

    // Run by Active Setup (--quiet), a failure arranges one more try at the
    // next sign-in, with the same command, and its event says so.
    EXPECT_FALSE(m.registry.Get("hkcu\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "PortSetupDefaultPrinter"));
    EXPECT_EQ(kExitFailed, m.Run({u"set-default", u"--quiet"}));
    const auto retry =
        m.registry.Get("hkcu\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "PortSetupDefaultPrinter");
    ASSERT_TRUE(retry);
    EXPECT_STREQ("\"C:\\Program Files\\PortSetup\\PortSetupCli.exe\" set-default --quiet",
                 reinterpret_cast<const char*>(retry->data.data()));
    EXPECT_NE(std::u16string::npos, m.platform.eventLog.back().text.find(u"one more try is arranged for the next "
                                                                         u"sign-in of SHOP\\cashier1"));
    // The printer is asked for by name, never by a listing of printer connections.
    EXPECT_TRUE(m.platform.EventsOf(testing_support::RecordingPlatform::Event::Kind::ListPrinterDetails).empty());
    EXPECT_EQ(std::u16string(PrinterName),
              m.platform.EventsOf(testing_support::RecordingPlatform::Event::Kind::FindPrinter).at(0).program);

    // A printer setup tool that does not end: the run gives up within its time.
    Machine slow;
    slow.Installed();
    slow.platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return std::nullopt; };
    const std::uint64_t before = slow.platform.now;
    EXPECT_EQ(kExitTimedOut, slow.Run({u"set-default", u"--timeout", u"5"}));
    EXPECT_LE(slow.platform.now - before, 5000u);
    EXPECT_TRUE(slow.console.Has(slow.console.err, u"did not end within 5 s"));
    // Windows' management was already turned off: harmless, and what the next try needs.
    EXPECT_EQ(1u, slow.LegacyMode());
}

TEST(SetDefault, AQuietRunThatFailsForAnyReasonArrangesOneMoreTry) {
    const char* const runOnce = "hkcu\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        int exitCode;
        bool retry;  // one more try at the next sign-in
    };
    const std::vector<Case> cases = {
        {"made the default", [](Machine&) {}, kExitDone, false},
        // The sign-in before the USB printer is plugged in: the try after it finds the queue.
        {"no printer of ours yet", [](Machine& m) { m.platform.printers = {u"Office"}; }, kExitNoPrinter, true},
        {"the print system does not answer in time",
         [](Machine& m) { m.platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return std::nullopt; }; },
         kExitTimedOut, true},
        {"the default not taken",
         [](Machine& m) { m.platform.failsOnPurpose = [](std::u16string_view line) { return line.find(u"/y") != std::u16string_view::npos; }; },
         kExitFailed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.Installed();
        c.arrange(m);
        EXPECT_EQ(c.exitCode, m.Run({u"set-default", u"--quiet", u"--timeout", u"5"}));
        EXPECT_EQ(c.retry, m.registry.Get(runOnce, "PortSetupDefaultPrinter").has_value());
        // Run by hand, a failure arranges nothing: the user sees it.
        Machine byHand;
        byHand.Installed();
        c.arrange(byHand);
        EXPECT_EQ(c.exitCode, byHand.Run({u"set-default", u"--timeout", u"5"}));
        EXPECT_FALSE(byHand.registry.Get(runOnce, "PortSetupDefaultPrinter").has_value());
    }
}

TEST(SetDefault, UsageAndTheUserKeyThatCannotBeWritten) {
    Machine m;
    m.Installed();
    EXPECT_EQ(kExitUsage, m.Run({u"set-default", u"--port", u"COM1"}));
    EXPECT_EQ(kExitUsage, m.Run({u"set-default", u"--timeout", u"0"}));
    EXPECT_EQ(kExitUsage, m.Run({u"set-default", u"extra"}));
    EXPECT_TRUE(m.platform.Started().empty());

    m.registry.FailNext(testing_support::MemoryRegistry::Op::SetValueEx, 5);
    EXPECT_EQ(kExitFailed, m.Run({u"set-default"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"LegacyDefaultPrinterMode, status 5"));
    EXPECT_EQ(u"Office", m.platform.defaultPrinter);
}

TEST(DefaultOwner, StatusNamesTheAccountAndWhetherWindowsManagesItsDefault) {
    Machine m;
    m.Installed();
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--json"}));
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"account\":\"SHOP\\\\cashier1\",\"windowsManagesDefault\":true"));
    m.SetLegacyMode(1);
    ASSERT_EQ(kExitDone, m.Run({u"status"}));
    EXPECT_TRUE(m.console.OutHas(u"Runs as: SHOP\\cashier1"));
    EXPECT_TRUE(m.console.OutHas(u"(Windows does not manage this account's default printer)"));
    m.SetLegacyMode(0);
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--json"}));
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"windowsManagesDefault\":true"));
}

TEST(DefaultOwner, StatusCountsTheDefaultWheneverAskedWithOrWithoutAPort) {
    struct Case {
        const char* what;
        std::vector<std::u16string> arguments;
        std::u16string_view defaultPrinter;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"not asked: the machine's state only", {u"status"}, u"Office", kExitDone},
        {"asked alone, another default", {u"status", u"--default"}, u"Office", kExitNotInstalled},
        {"asked alone, ours the default", {u"status", u"--default"}, PrinterName, kExitDone},
        {"asked with USB, another default", {u"status", u"--port", u"USB", u"--default"}, u"Office", kExitNotInstalled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        m.Installed();
        m.platform.defaultPrinter = std::u16string(c.defaultPrinter);
        EXPECT_EQ(c.exitCode, m.Run(c.arguments));
    }
    // No printer of ours at all: nothing of ours can be the default.
    Machine none;
    none.platform.drivers = {std::u16string(DriverModel)};
    none.platform.printers = {u"Office"};
    none.platform.defaultPrinter = u"Office";
    EXPECT_EQ(kExitNotInstalled, none.Run({u"status", u"--default"}));
}

TEST(DefaultOwner, AnInstallAsSystemSaysHowUsersGetTheDefault) {
    Machine m;
    m.platform.administrator = true;
    m.platform.runningUser = u"S-1-5-18";
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    EXPECT_TRUE(m.console.OutHas(u"signed-in users get \"KALDO Veltro MiniPrinter\" as their default at their next "
                                 u"sign-in through the MSI's Active Setup entry, or by running PortSetupCli "
                                 u"set-default as the user"));
    m.platform.runningUser = u"S-1-5-21-1-2-3-500";
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    EXPECT_FALSE(m.console.OutHas(u"Active Setup"));
}

}  // namespace
