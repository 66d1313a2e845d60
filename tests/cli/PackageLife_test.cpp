// What the MSI relies on over the years: an install that stores the choice it
// was given for the next upgrade or repair, and a removal that does not stop
// at a printer whose print jobs are still queued.
#include "cli/Arguments.h"
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

using namespace setup;

namespace {

const char* const kChoice = "SOFTWARE\\PortSetup";

struct Machine : testing_support::CliMachine {
    std::string Choice(const std::string& name) const {
        auto value = registry.Get(kChoice, name);
        return value ? std::string(reinterpret_cast<const char*>(value->data.data())) : "<none>";
    }
    void OurPrinter(const std::u16string& name, const std::u16string& port) {
        platform.printers.push_back(name);
        platform.printerPorts[name] = port;
        platform.printerDrivers[name] = std::u16string(DriverModel);
        if (platform.drivers.empty()) platform.drivers.push_back(std::u16string(DriverModel));
    }
};

TEST(RememberedChoice, StoredOnlyWhenAskedAndOnlyAfterADoneInstall) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3"}));
    EXPECT_FALSE(m.registry.Get(kChoice, "Port"));
    EXPECT_FALSE(m.registry.Get(kChoice, "Settings"));

    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"com4", u"--settings", u"115200,e,7,2,x", u"--remember"}));
    EXPECT_EQ("COM4", m.Choice("Port"));
    EXPECT_EQ("115200,e,7,2,x", m.Choice("Settings"));
    EXPECT_TRUE(m.console.OutHas(u"stored as the package's choice: Port = COM4, Settings = 115200,e,7,2,x"));

    // USB has no settings: the stored ones stay as they are.
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"USB", u"--remember"}));
    EXPECT_EQ("USB", m.Choice("Port"));
    EXPECT_EQ("115200,e,7,2,x", m.Choice("Settings"));

    // A failed install stores nothing: the choice stays the last one that worked.
    m.platform.failsOnPurpose = [](std::u16string_view line) { return line.find(u"/Xs") != std::u16string_view::npos; };
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM2", u"--remember"}));
    EXPECT_EQ("USB", m.Choice("Port"));

    // A removal that is refused keeps the choice; one that removed all
    // clears it (nothing is left for a repair to install again), and the key
    // keeps the last verdict.
    m.platform.failsOnPurpose = nullptr;
    m.platform.spooler.disabled = true;
    EXPECT_EQ(kExitSpoolerDisabled, m.Run({u"remove"}));
    EXPECT_EQ("USB", m.Choice("Port"));
    m.platform.spooler.disabled = false;
    m.platform.printerListingFails = u"The RPC server is unavailable.";
    EXPECT_EQ(kExitFailed, m.Run({u"remove"}));
    EXPECT_EQ("USB", m.Choice("Port"));
    m.platform.printerListingFails.reset();
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_FALSE(m.registry.Get(kChoice, "Port"));
    EXPECT_FALSE(m.registry.Get(kChoice, "Settings"));
    EXPECT_TRUE(m.registry.Get(kChoice, "LastExitCode"));
    EXPECT_TRUE(m.console.OutHas(u"cleared: the stored choice's Port"));
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));  // nothing left to clear: no warning
    EXPECT_FALSE(m.console.OutHas(u"warning: the stored choice"));
}

TEST(RememberedChoice, AChoiceThatCannotBeStoredFailsTheRun) {
    Machine m;
    m.registry.DenyAccess(kChoice);
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM1", u"--remember"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"the choice could not be stored under HKLM\\SOFTWARE\\PortSetup (status 5)"));
}

TEST(RememberedChoice, TheOptionBelongsToInstallAndIsGivenBack) {
    Machine m;
    EXPECT_EQ(kExitUsage, m.Run({u"remove", u"--remember"}));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM1", u"--remember=1"}));
    const auto parsed = cli::ParseArguments({u"install", u"--port", u"COM1", u"--remember"});
    ASSERT_TRUE(parsed.command);
    EXPECT_TRUE(parsed.command->remember);
    EXPECT_FALSE(parsed.command->json);
    EXPECT_EQ(std::u16string(u"--remember"), cli::ToArguments(*parsed.command).back());
}

TEST(RunLog, IsOpenedAndLockedOnceForTheRunAndStillWrittenLineByLine) {
    Machine m;
    for (int i = 0; i < 20; ++i) m.OurPrinter(u"POS " + std::u16string(1, static_cast<char16_t>(u'A' + i)), u"COM1:");
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    // One open of the log, the single-run lock, and the log lock twice: for
    // the first line, and then held for the rest of the run.
    EXPECT_EQ(1u, m.platform.appendOpens);
    EXPECT_EQ(3u, m.platform.lockTakes);
    const std::string& log = m.platform.files[u"C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log"];
    EXPECT_EQ(static_cast<std::ptrdiff_t>(m.console.out.size()),  // every step, the run line and the verdict
              std::count(log.begin(), log.end(), '\n') - 1);
    std::size_t appends = 0;
    for (const auto& event : m.platform.fileEvents)
        if (event.rfind(u"append ", 0) == 0) ++appends;
    EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')), appends);
}

TEST(QueuedJobs, ArePurgedBeforeEachDeleteSoThatTheDeleteIsNotLeftPending) {
    Machine m;
    m.OurPrinter(u"KALDO Veltro MiniPrinter", u"COM1:");
    m.OurPrinter(u"Receipts", u"COM2:");
    m.platform.queuedJobs[u"Receipts"] = 3;
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_EQ((std::vector<std::u16string>{u"KALDO Veltro MiniPrinter", u"Receipts"}), m.platform.purged);
    EXPECT_TRUE(m.platform.printers.empty());
    EXPECT_TRUE(m.platform.drivers.empty());
    EXPECT_TRUE(m.console.OutHas(u"purged: the print jobs of \"Receipts\""));
}

TEST(QueuedJobs, ADeleteThatStillPendsFailsTheRunAndSaysSo) {
    Machine m;
    m.OurPrinter(u"Receipts", u"COM2:");
    m.platform.queuedJobs[u"Receipts"] = 1;
    m.platform.purgeFails = u"Access is denied.";
    EXPECT_EQ(kExitFailed, m.Run({u"remove"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: the print jobs of \"Receipts\" could not be purged: Access is denied."));
    // The delete was still tried; the printer stays listed, and the driver is kept.
    EXPECT_EQ(1, std::count_if(m.platform.ended.begin(), m.platform.ended.end(), [](const auto& e) {
                  return e.commandLine.find(u"/dl") != std::u16string::npos;
              }));
    EXPECT_TRUE(m.console.Has(m.console.err, u"these printers still use it: \"Receipts\" (still listed after their "
                                             u"delete: the delete failed, or it waits for print jobs to end)"));
    EXPECT_EQ(std::vector<std::u16string>{std::u16string(DriverModel)}, m.platform.drivers);
}

}  // namespace

namespace {

// repair installs again as the record stores it; status --stored asks
// whether the till is so. Each row: what is stored and installed, then what
// each command ends with and what repair leaves.
TEST(RememberedChoice, RepairAndStatusStoredReadTheRecord) {
    struct Case {
        const char* what;
        const char* port;      // stored; nullptr: none
        const char* settings;  // stored; nullptr: none
        bool installedAsStored;  // installed on COM2 with 19200,e,7,1,x
        int status;  // status --stored, before repair
        int repair;
        const char* portsValue;  // COM2:'s value after repair ("<none>": not written)
    };
    const std::vector<Case> cases = {
        {"nothing stored", nullptr, nullptr, false, kExitNotInstalled, kExitNothingStored, "<none>"},
        {"installed, nothing stored", nullptr, nullptr, true, kExitNotInstalled, kExitNothingStored, "19200,e,7,1,x"},
        {"stored, nothing installed", "COM2", "19200,e,7,1,x", false, kExitNotInstalled, kExitDone, "19200,e,7,1,x"},
        {"stored and as stored", "COM2", "19200,e,7,1,x", true, kExitDone, kExitDone, "19200,e,7,1,x"},
        {"a stored port that is no port", "COM999", "19200,e,7,1,x", false, kExitNotInstalled, kExitNothingStored,
         "<none>"},
        {"stored settings that are no settings", "COM2", "fast", false, kExitNotInstalled, kExitDone, "9600,n,8,1,p"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        if (c.port) m.registry.PutString(kChoice, "Port", c.port);
        if (c.settings) m.registry.PutString(kChoice, "Settings", c.settings);
        if (c.installedAsStored) {
            ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2", u"--settings", u"19200,e,7,1,x"}));
            m.platform.events.clear();
        }
        EXPECT_EQ(c.status, m.Run({u"status", u"--stored"}));
        EXPECT_EQ(c.repair, m.Run({u"repair"}));
        EXPECT_EQ(c.portsValue, m.Port("COM2:"));
        if (c.repair == kExitNothingStored) {
            EXPECT_TRUE(m.platform.Started().empty());
            continue;
        }
        // Repaired: as stored, the stored port kept (settings that were no
        // settings give way to the default, which is stored as installed).
        EXPECT_EQ(kExitDone, m.Run({u"status", u"--stored"})) << c.what;
        EXPECT_EQ(u"COM2:", m.platform.printerPorts[std::u16string(PrinterName)]);
        EXPECT_EQ(c.port, m.Choice("Port"));
    }
}

TEST(RememberedChoice, SettingsDifferingFromTheStoredOnesAreRepaired) {
    Machine m;
    m.registry.PutString(kChoice, "Port", "COM2");
    m.registry.PutString(kChoice, "Settings", "19200,e,7,1,x");
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}));  // 9600,n,8,1,p
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--stored"}));
    ASSERT_EQ(kExitDone, m.Run({u"repair", u"--timeout", u"30"}));
    EXPECT_EQ("19200,e,7,1,x", m.Port("COM2:"));
    EXPECT_EQ("19200,e,7,1,x", m.Choice("Settings"));
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--stored"}));
    // --stored stands for --port and --settings, never beside them.
    EXPECT_EQ(kExitUsage, m.Run({u"status", u"--stored", u"--port", u"COM2"}));
    EXPECT_EQ(kExitUsage, m.Run({u"repair", u"--port", u"COM2"}));
}

}  // namespace
