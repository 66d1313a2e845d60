// test-print: a page through the print system, watched until it has left
// the queue; the job's status and the port's settings say why it did not.
#include "setup/ExitCodes.h"
#include "setup/Product.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <string>

using namespace setup;

namespace {

struct Machine : testing_support::CliMachine {
    Machine() {
        platform.administrator = false;  // a cashier: no rights needed
        platform.runningUser = u"S-1-5-21-1-2-3-1001";
        platform.runningAccount = u"SHOP\\cashier1";
    }
    void Installed() { InstallOursBesideOffice(); }
};

TEST(TestPrint, APagePrintsOrTheJobsStatusAndThePortsSettingsSayWhyNot) {
    Machine m;  // a cashier: no rights needed
    m.Installed();
    m.registry.PutString(testing_support::CliMachine::kPorts, "COM3:", "19200,e,7,1,x");
    ASSERT_EQ(kExitDone, m.Run({u"test-print"}));
    ASSERT_EQ(1u, m.platform.jobs.size());
    EXPECT_NE(std::string::npos, m.platform.jobs[1].bytes.find("Port: COM3: (19200,e,7,1,x)"));
    EXPECT_TRUE(m.console.OutHas(u"printed: job 1 left the queue"));

    // Offline or out of paper: still queued at the time limit, with why and the settings.
    m.platform.jobPrintsAfter.reset();
    m.platform.jobStatus = 0x0020 | 0x0040;
    const std::uint64_t before = m.platform.now;
    EXPECT_EQ(kExitFailed, m.Run({u"test-print", u"--timeout", u"5"}));
    EXPECT_LE(m.platform.now - before, 5500u);
    EXPECT_TRUE(m.console.Has(m.console.err, u"Job 2 is still queued after 5 s (offline, paper out); the port is "
                                             u"COM3: (19200,e,7,1,x)"));

    // A job deleted before it printed left the queue, but did not print.
    m.platform.jobPrintsAfter = 1500;
    m.platform.jobStatus = 0x0004;
    EXPECT_EQ(kExitFailed, m.Run({u"test-print"}));

    m.platform.printers.clear();
    EXPECT_EQ(kExitFailed, m.Run({u"test-print"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"No printer of the driver \"KALDO QTX_VELTRO\" is installed"));
    EXPECT_EQ(3u, m.platform.jobs.size());
}

}  // namespace
