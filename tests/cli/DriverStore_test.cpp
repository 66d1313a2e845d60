// The driver package in Windows' driver store: which published INF is ours,
// and remove taking it out (or naming the device that keeps it), with what
// status reports of it.
#include "setup/DriverStore.h"
#include "setup/ExitCodes.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::RecordingPlatform;
using namespace setup;

namespace {

// Another vendor's printer package, for another model.
constexpr const char* kOtherInf =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\nCatalogFile=other.cat\r\n\r\n[Manufacturer]\r\n"
    "Other=Other,NTamd64\r\n\r\n[Other.NTamd64]\r\n\"Other Receipt\"=OTHER,OTHER_RECEIPT\r\n";

TEST(DriverStore, APublishedInfIsOursByItsOriginAndItsModel) {
    struct Row {
        const char* what;
        std::u16string name, original;
        const char* bytes;
        bool ours;
    } rows[] = {
        {"published from our INF", u"oem5.inf", u"PRT3Q42WD32.inf", testing_support::kVendorInf, true},
        {"the origin's letters in another case", u"OEM5.INF", u"prt3q42wd32.INF", testing_support::kVendorInf, true},
        {"no record of its origin: it names itself", u"oem7.inf", u"oem7.inf", testing_support::kVendorInf, true},
        {"published from another vendor's INF", u"oem5.inf", u"kaldo_other.inf", testing_support::kVendorInf, false},
        {"our INF's name, another model", u"oem5.inf", u"PRT3Q42WD32.inf", kOtherInf, false},
        {"no record, another model", u"oem9.inf", u"oem9.inf", kOtherInf, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.ours, IsOurPublishedInf(row.name, row.original, row.bytes, u"amd64", kVeltro)) << row.what;

    for (std::u16string_view name : {u"oem0.inf", u"oem12.inf", u"OEM3.INF"})
        EXPECT_TRUE(IsPublishedInfName(name)) << std::string(name.begin(), name.end());
    // What is not a published INF never reaches the driver store tool's command line.
    for (std::u16string_view name : {u"oem.inf", u"oemx.inf", u"oem5.inf.bak", u"oem5.pnf", u"..\\oem5.inf",
                                     u"oem5 /force.inf", u"prt3q42wd32.inf"})
        EXPECT_FALSE(IsPublishedInfName(name)) << std::string(name.begin(), name.end());
}

struct Machine : testing_support::CliMachine {
    // The driver installed for USB, its package published as oem0.inf, and
    // another vendor's package beside it.
    Machine() {
        platform.publishedInfs[u"oem1.inf"] = {u"other.inf", kOtherInf};
        EXPECT_EQ(kExitDone, Run({u"install", u"--port", u"USB"}));
        EXPECT_EQ(1u, platform.publishedInfs.count(u"oem0.inf"));
        platform.eventLog.clear();
    }
    std::vector<std::u16string> DriverStoreStarts() const {
        std::vector<std::u16string> starts;
        for (const auto& line : platform.Started())
            if (line.rfind(u"pnputil", 0) == 0) starts.push_back(line);
        return starts;
    }
};

TEST(DriverStore, RemoveTakesOurPackageOutOfTheStoreAndChecksIt) {
    struct Row {
        const char* what;
        bool heldByDevice, restart, storeUnreadable;
        int exitCode;
        bool oursStays;
    } rows[] = {
        {"removed", false, false, false, kExitDone, false},
        {"a device keeps it", true, false, false, kExitPackageInUse, true},
        {"the tool asks for a restart", false, true, false, kExitRestartNeeded, false},
        {"the store cannot be read", false, false, true, kExitFailed, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Machine m;
        m.platform.storeHeldByDevice = row.heldByDevice;
        if (row.storeUnreadable) m.platform.storeListingFails = u"Access is denied.";
        m.platform.packageDeleteNeedsRestart = row.restart;
        EXPECT_EQ(row.exitCode, m.Run({u"remove"}));
        EXPECT_TRUE(m.platform.drivers.empty());
        EXPECT_EQ(row.oursStays, m.platform.publishedInfs.count(u"oem0.inf") == 1);
        EXPECT_EQ(1u, m.platform.publishedInfs.count(u"oem1.inf"));  // another vendor's stays
        const std::vector<std::u16string> expected =
            row.storeUnreadable ? std::vector<std::u16string>{}
                                : std::vector<std::u16string>{u"pnputil /delete-driver oem0.inf /uninstall"};
        EXPECT_EQ(expected, m.DriverStoreStarts());
        const auto& event = m.OnlyEvent();
        EXPECT_EQ(Succeeded(row.exitCode) ? 1010u : 1011u, event.id);
        EXPECT_EQ(!row.oursStays, event.text.find(u"Removed: the driver package \"PRT3Q42WD32.inf\" from the driver "
                                                  u"store (oem0.inf)") != std::u16string::npos);
        if (row.heldByDevice) {
            EXPECT_TRUE(m.console.Has(m.console.err, u"stayed in the driver store as oem0.inf (pnputil exit code "
                                                     u"3758096957)"));
            EXPECT_TRUE(m.console.Has(m.console.err, u"pnputil /delete-driver oem0.inf /uninstall /force"));
        }
    }
}

TEST(DriverStore, ARemoveAfterOneAPackageSurvivedRemovesThePackageAlone) {
    Machine m;
    m.platform.storeHeldByDevice = true;
    ASSERT_EQ(kExitPackageInUse, m.Run({u"remove"}));
    m.platform.storeHeldByDevice = false;  // the printer unplugged
    EXPECT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_EQ(std::vector<std::u16string>{u"pnputil /delete-driver oem0.inf /uninstall"}, m.platform.Started());
    EXPECT_EQ(0u, m.platform.publishedInfs.count(u"oem0.inf"));
    // Nothing of ours left: the next remove starts nothing.
    EXPECT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_TRUE(m.platform.Started().empty());
}

TEST(DriverStore, StatusSaysWhetherOurPackageIsInTheStore) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--json"}));
    ASSERT_EQ(1u, m.console.out.size());
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"driverPackages\":[\"oem0.inf\"]"));
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"Driver package in the driver store: yes, as oem0.inf"));

    m.platform.publishedInfs.erase(u"oem0.inf");
    m.Run({u"status", u"--json"});
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"driverPackages\":[]"));
    m.platform.storeListingFails = u"Access is denied.";
    m.Run({u"status", u"--json"});
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"driverPackages\":null"));
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"Driver package in the driver store: unknown (Access is denied.)"));
}

}  // namespace
