// A second printer model is a row of data: install, status and remove run
// for it, on the same machine as the first, with no other code changed.
#include "setup/CommandLines.h"
#include "setup/ExitCodes.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

using namespace setup;

namespace {

constexpr Product kForte{u"KALDO Forte Printer", u"KALDO QTX_FORTE", u"\\FORTE64.inf", u"KALDO QTX_FORTE"};

TEST(Products, ASecondModelIsARowOfData) {
    testing_support::CliMachine m;
    const std::u16string folder = u"C:\\Program Files\\PortSetup";
    m.platform.files[folder + u"\\FORTE64.inf"] =
        "[Version]\r\nCatalogFile=forte64.cat\r\nDriverVer=01/02/2025,2.0.0.1\r\n[Manufacturer]\r\nKALDO=Forte,NTamd64\r\n"
        "[Forte.NTamd64]\r\n\"KALDO QTX_FORTE\"=FORTE\r\n";
    m.platform.files[folder + u"\\forte64.cat"] = "catalog";
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM5"}));  // the first product, beside it

    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}, kForte));
    EXPECT_EQ(QuietCommandLine(InstallOnComPortCommandLine(folder, u"COM2:", InfQuoting::Always, kForte)),
              m.platform.Started().at(0));
    EXPECT_EQ(u"KALDO QTX_FORTE", m.platform.printerDrivers[u"KALDO Forte Printer"]);
    EXPECT_EQ(u"COM2:", m.platform.printerPorts[u"KALDO Forte Printer"]);
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM2"}, kForte));
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--port", u"COM2"}));  // not the first product's printer

    ASSERT_EQ(kExitDone, m.Run({u"remove"}, kForte));
    EXPECT_EQ(std::vector<std::u16string>{std::u16string(PrinterName)}, m.platform.printers);
    EXPECT_EQ(std::vector<std::u16string>{std::u16string(DriverModel)}, m.platform.drivers);
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM5"}));
}

}  // namespace
