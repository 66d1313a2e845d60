// test-print: a page through the print system, watched until it has left
// the queue; the job's status and the port's settings say why it did not.
#include "setup/ExitCodes.h"
#include "setup/Product.h"
#include "setup/RunEvents.h"
#include "cli/Verbs.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace setup;

namespace {

struct Machine : testing_support::CliMachine {
    Machine() {
        platform.administrator = false;  // a cashier: no rights needed
        platform.runningUser = u"S-1-5-21-1-2-3-1001";
        platform.runningAccount = u"SHOP\\cashier1";
        InstallOursBesideOffice();
        registry.PutString(kPorts, "COM3:", "19200,e,7,1,x");
    }
};

TEST(TestPrint, APagePrintsWithThePortsSettingsOnIt) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"test-print"}));
    ASSERT_EQ(1u, m.platform.jobs.size());
    EXPECT_NE(std::string::npos, m.platform.jobs[1].bytes.find("Port: COM3: (19200,e,7,1,x)"));
    EXPECT_FALSE(m.platform.jobs[1].cancelled);
    EXPECT_TRUE(m.console.OutHas(u"printed: job 1 left the queue"));
    EXPECT_EQ(kEventTestPrintSucceeded, m.OnlyEvent().id);
}

// Each way a page does not print ends with its own code, and a job that did
// not print is not left queued to print later when nobody waits for it.
TEST(TestPrint, EachWayAPageDoesNotPrintHasItsCode) {
    struct Row {
        const char* what;
        std::function<void(testing_support::RecordingPlatform&)> arrange;
        int exitCode;
        bool jobCancelled;  // the job deleted from the queue at the end
    };
    const Row rows[] = {
        {"offline and out of paper at the time limit",
         [](auto& p) {
             p.jobPrintsAfter.reset();
             p.jobStatus = 0x0020 | 0x0040;
         },
         kExitTimedOut, true},
        {"still queued, and the delete fails too",
         [](auto& p) {
             p.jobPrintsAfter.reset();
             p.cancelFails = true;
         },
         kExitTimedOut, false},
        {"the port never takes the page", [](auto& p) { p.pageTakenAfter = 600000; }, kExitTimedOut, true},
        {"deleted before it printed", [](auto& p) { p.jobStatus = 0x0004; }, kExitPrintCancelled, false},
        {"the print system refused the page (aborted)",
         [](auto& p) { p.pageRefused = u"The device is not connected.; the job was aborted"; }, kExitPageNotSent, true},
        {"the queue cannot be asked", [](auto& p) { p.jobStatusFails = u"The RPC server is unavailable."; },
         kExitFailed, false},
        {"no printer of ours", [](auto& p) { p.printers.clear(); }, kExitNoPrinter, false},
    };
    for (const auto& row : rows) {
        Machine m;
        row.arrange(m.platform);
        const std::uint64_t before = m.platform.now;
        EXPECT_EQ(row.exitCode, m.Run({u"test-print", u"--timeout", u"5"})) << row.what;
        EXPECT_LE(m.platform.now - before, 5500u) << row.what;
        EXPECT_EQ(row.jobCancelled, !m.platform.jobs.empty() && m.platform.jobs[1].cancelled) << row.what;
        EXPECT_EQ(kEventTestPrintFailed, m.OnlyEvent().id) << row.what;
        EXPECT_FALSE(m.console.OutHas(u"printed: job 1 left the queue")) << row.what;
    }
}

TEST(TestPrint, AtTheTimeLimitTheJobsStatusAndThePortsSettingsSayWhy) {
    Machine m;
    m.platform.jobPrintsAfter.reset();
    m.platform.jobStatus = 0x0020 | 0x0040;
    EXPECT_EQ(kExitTimedOut, m.Run({u"test-print", u"--timeout", u"5"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"Job 1 is still queued after 5 s (offline, paper out); the port is "
                                             u"COM3: (19200,e,7,1,x)"));
    m.platform.pageTakenAfter = 600000;
    EXPECT_EQ(kExitTimedOut, m.Run({u"test-print", u"--timeout", u"5"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"Job 2 is still queued after 5 s (being sent to the port)"));
}

// The time limit holds for the whole run, the printer's lookup included; the
// run's whole-run watchdog is a little past it (deleting a queued page takes
// a moment), and set-default's too, and no other command has one.
TEST(TestPrint, TheTimeLimitCountsTheLookupToo) {
    Machine m;
    m.platform.findPrinterTakes = 4000;
    m.platform.pageTakenAfter = 3000;  // within a whole 5 s, not within the 1 s the lookup left
    const std::uint64_t before = m.platform.now;
    EXPECT_EQ(kExitTimedOut, m.Run({u"test-print", u"--timeout", u"5"}));
    EXPECT_LE(m.platform.now - before, 5000u);
    EXPECT_TRUE(m.platform.jobs[1].cancelled);

    const auto limit = [](const std::vector<std::u16string>& arguments) {
        return cli::WholeRunLimitMilliseconds(*cli::ParseArguments(arguments).command);
    };
    EXPECT_EQ(90000u, limit({u"test-print"}));
    EXPECT_EQ(35000u, limit({u"test-print", u"--timeout", u"5"}));
    EXPECT_EQ(31000u, limit({u"set-default"}));
    EXPECT_EQ(6000u, limit({u"set-default", u"--timeout", u"5"}));
    EXPECT_FALSE(limit({u"install", u"--port", u"COM1"}));
    EXPECT_FALSE(limit({u"remove"}));
    EXPECT_FALSE(limit({u"status"}));
}

TEST(TestPrint, AsJson) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"test-print", u"--json"}));
    ASSERT_EQ(1u, m.console.out.size());  // the object only
    EXPECT_EQ(u"{\"printer\":\"KALDO Veltro MiniPrinter\",\"port\":\"COM3: (19200,e,7,1,x)\",\"job\":1,"
              u"\"jobStatus\":\"printing\",\"printed\":true,\"exitCode\":0,\"reason\":null}",
              m.console.out[0]);
    m.platform.printers.clear();
    ASSERT_EQ(kExitNoPrinter, m.Run({u"test-print", u"--json"}));
    EXPECT_NE(std::u16string::npos, m.console.out.back().find(u"\"printer\":null,\"port\":null,\"job\":null"));
    EXPECT_NE(std::u16string::npos, m.console.out.back().find(u"\"printed\":false,\"exitCode\":3012,\"reason\":\"No printer"));
}

}  // namespace
