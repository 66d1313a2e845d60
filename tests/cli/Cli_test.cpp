// PortSetupCli runs whole: arguments to exit code, against the print system
// stand-in, the in-memory registry and a captured console.
#include "cli/Cli.h"
#include "cli/RunLog.h"
#include "setup/Text.h"
#include "setup/CommandLines.h"
#include "setup/PreChecks.h"
#include "setup/DefaultPrinter.h"
#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/Remove.h"
#include "setup/Status.h"
#include "setup/TestPrint.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using testing_support::MemoryRegistry;
using testing_support::RecordingPlatform;
using namespace setup;

namespace {

constexpr const char16_t* kLog = u"C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log";

std::string Narrow(std::u16string_view s) { return setup::Utf8(s); }

struct Machine : testing_support::CliMachine {
    Machine() { registry.PutString(kPorts, "COM1:", "9600,n,8,1"); }
    std::string Log() const {
        auto it = platform.files.find(kLog);
        return it == platform.files.end() ? "" : it->second;
    }
};

TEST(Cli, InstallOnAComPortWaitsChecksAndStores) {
    Machine m;
    // An installation that takes longer than the window's fixed 3 s.
    m.platform.runTime = [](std::u16string_view line) -> std::optional<std::uint32_t> {
        return line.find(u"/if") != std::u16string_view::npos ? 5000 : 100;
    };
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3", u"--settings", u"19200,e,7,1,x"}))
        << Narrow(m.console.err.empty() ? u"" : m.console.err[0]);

    const std::u16string install =
        u"rundll32 printui.dll,PrintUIEntry /q /if /b \"KALDO Veltro MiniPrinter\" /f "
        u"\"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf\" /r \"COM3:\" /m \"KALDO QTX_VELTRO\"";
    EXPECT_EQ((std::vector<std::u16string>{install, SetDefaultPrinterCommandLine(PrinterName)}), m.platform.Started());
    EXPECT_EQ(5100u, m.platform.now);  // each command waited for, nothing more
    EXPECT_EQ(u"KALDO Veltro MiniPrinter", m.platform.defaultPrinter);
    EXPECT_EQ("19200,e,7,1,x", m.Port("COM3:"));
    EXPECT_EQ("9600,n,8,1", m.Port("COM1:"));
    EXPECT_TRUE(m.console.err.empty());
    EXPECT_TRUE(m.console.OutHas(u"started: " + install));
    EXPECT_TRUE(m.console.OutHas(u"ended with exit code 0 after 5000 ms"));
    EXPECT_TRUE(m.console.OutHas(u"stored: COM3: = 19200,e,7,1,x"));
    EXPECT_EQ(u"done", m.console.out.back());

    const std::string log = m.Log();
    EXPECT_EQ(0u, log.find("2026-12-08T10:00:00+01:00 run: PortSetupCli install --port COM3 --settings 19200,e,7,1,x\r\n"));
    EXPECT_NE(std::string::npos, log.find("+01:00 started: " + Narrow(install) + "\r\n"));
    EXPECT_NE(std::string::npos, log.find("+01:00 verdict: done, exit code 0\r\n"));

    // status agrees, for the port asked and not for another.
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM3"}));
    EXPECT_TRUE(m.console.OutHas(u"KALDO Veltro MiniPrinter on COM3: (the default printer)"));
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--port", u"COM2"}));

    // A port above COM4 (a USB adapter's) the same way; status lists the
    // port the printer is on, and the one asked about.
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"com12"}));
    EXPECT_EQ("9600,n,8,1,p", m.Port("COM12:"));
    EXPECT_EQ(kExitDone, m.Run({u"status"}));
    EXPECT_TRUE(m.console.OutHas(u"  COM12: 9600,n,8,1,p"));
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--port", u"COM200"}));
    EXPECT_TRUE(m.console.OutHas(u"  COM200: (none)"));
}

TEST(Cli, InstallOnUsbAndFromAnotherPackageFolder) {
    Machine m;
    testing_support::PutVendorPackage(m.platform, u"C:\\Work\\Pkg");
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port=USB", u"--package", u"Pkg\\"}));
    // The driver, then the driver store's update of the devices it matches.
    const std::vector<std::u16string> started = {
        u"rundll32 printui.dll,PrintUIEntry /q /ia /f \"C:\\Work\\Pkg\\PRT3Q42WD32.inf\" /m \"KALDO QTX_VELTRO\"",
        u"pnputil /add-driver \"C:\\Work\\Pkg\\PRT3Q42WD32.inf\" /install"};
    EXPECT_EQ(started, m.platform.Started());
    EXPECT_EQ(u"pnputil.exe", m.platform.EventsOf(RecordingPlatform::Event::Kind::Start).back().program);
    EXPECT_TRUE(m.console.OutHas(u"checked: no device waits for this driver"));
    EXPECT_EQ(std::vector<std::u16string>{u"KALDO QTX_VELTRO"}, m.platform.drivers);
    EXPECT_EQ("<none>", m.Port("COM2:"));  // USB writes no settings
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"USB"}));

    // A printer plugged in before: its queue appears; a restart the tool asks
    // for is passed on as 3010 (done, restart needed), not "already
    // installed"; a tool that fails is the run's failure.
    m.platform.devicesWithoutDriver = {std::u16string(DriverModel)};
    m.platform.driverStoreNeedsRestart = true;
    ASSERT_EQ(kExitRestartNeeded, m.Run({u"install", u"--port=USB", u"--package", u"Pkg"}));
    EXPECT_FALSE(m.console.OutHas(u"already installed as asked"));
    EXPECT_NE(std::string::npos, m.Log().find("verdict: done, exit code 3010"));
    EXPECT_EQ(u"USB001", m.platform.printerPorts[std::u16string(DriverModel)]);
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--port", u"USB"}));
    m.platform.failsOnPurpose = [](std::u16string_view line) { return line.rfind(u"pnputil", 0) == 0; };
    EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port=USB", u"--package", u"Pkg"}));
    EXPECT_TRUE(m.console.Has(m.console.err, u"could not add the driver package or update the devices it matches "
                                             u"(exit code 1)"));
}

TEST(Cli, FailuresHaveTheirOwnExitCodesAndStartNothingTheyNeedNot) {
    {  // no INF file in the package folder
        Machine m;
        EXPECT_EQ(kExitPackageInvalid, m.Run({u"install", u"--port", u"COM1", u"--package", u"D:\\Empty"}));
        EXPECT_TRUE(m.platform.Started().empty());
        ASSERT_FALSE(m.console.err.empty());
        EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"D:\\Empty\\PRT3Q42WD32.inf"));
        EXPECT_NE(std::string::npos, m.Log().find("verdict: failed, exit code 1620: "));
    }
    {  // bad usage: the usage text and its event; nothing started, nothing written
        Machine m;
        EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM257"}));
        EXPECT_TRUE(m.platform.Started().empty());
        EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"PortSetupCli install --port"));
        EXPECT_NE(std::u16string::npos, m.platform.eventLog.back().text.find(u"Exit code: 87"));
        EXPECT_EQ(kExitUsage, m.Run({u"status", u"--bogus"}));
        // A refused line is used nowhere: not its --log, nor what a raw scan
        // would take for one.
        EXPECT_EQ(kExitUsage, m.Run({u"remove", u"--log", u"D:\\r.log", u"--bogus"}));
        EXPECT_EQ(kExitUsage, m.Run({u"install", u"--package", u"--log", u"--port", u"COM1", u"--bogus"}));
        EXPECT_TRUE(m.platform.fileEvents.empty());
        EXPECT_EQ("", m.Log());
        // An accepted line whose --log is another option's value logs where it ran.
        EXPECT_EQ(kExitPackageInvalid, m.Run({u"install", u"--package", u"--log", u"--port", u"COM1"}));
        EXPECT_EQ(0u, m.platform.files.count(u"C:\\Work\\--port"));
        EXPECT_NE(std::string::npos, m.Log().find("run: PortSetupCli install --package --log --port COM1"));
    }
    {  // a 32-bit program on 64-bit Windows is refused at once; on 32-bit Windows it runs
        Machine m;
        m.platform.programProcessor = u"x86";
        EXPECT_EQ(kExitWrongProcessor, m.Run({u"install", u"--port", u"COM1"}));
        EXPECT_TRUE(m.console.Has(m.console.err, u"this Windows is 64-bit (amd64). Use the 64-bit PortSetupCli.exe"));
        EXPECT_EQ(kExitWrongProcessor, m.Run({u"status"}));
        EXPECT_TRUE(m.platform.Started().empty());
        EXPECT_EQ(kExitDone, m.Run({u"--version"}));
        m.platform.processor = u"x86";
        EXPECT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1"}));
    }
    {  // not an administrator: checked before anything else
        Machine m;
        m.platform.administrator = false;
        EXPECT_EQ(kExitNotAdministrator, m.Run({u"remove"}));
        EXPECT_TRUE(m.platform.events.empty());
        EXPECT_EQ(kExitDone, m.Run({u"--version"}));
        EXPECT_EQ(kExitNotInstalled, m.Run({u"status"}));  // status needs no rights: it runs, and says "not installed"
        EXPECT_TRUE(m.console.OutHas(u"not installed"));
    }
    {  // another run in progress
        Machine m;
        m.platform.anotherRunActive = true;
        EXPECT_EQ(kExitAlreadyRunning, m.Run({u"install", u"--port", u"COM2"}));
        EXPECT_TRUE(m.platform.Started().empty());
    }
    {  // a command that does not end in time is left running and named
        Machine m;
        m.platform.runTime = [](std::u16string_view) -> std::optional<std::uint32_t> { return 10000; };
        EXPECT_EQ(kExitTimedOut, m.Run({u"install", u"--port", u"COM2", u"--timeout", u"2"}));
        EXPECT_EQ(1u, m.platform.Started().size());
        EXPECT_EQ(2000u, m.platform.now);
        EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"did not end within 2 s"));
        EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"/if /b"));
        EXPECT_EQ("<none>", m.Port("COM2:"));
    }
    {  // no printer setup tool
        Machine m;
        m.platform.failStartNumber = 0;
        EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM2"}));
        EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"cannot find the file"));
    }
    {  // the printer setup tool ran, but no printer appeared
        Machine m;
        m.platform.runTime = [&](std::u16string_view) -> std::optional<std::uint32_t> {
            m.platform.files.clear();
            return 0;
        };
        EXPECT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM2"}));
        EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"was not installed"));
        EXPECT_EQ("<none>", m.Port("COM2:"));
    }
}

TEST(Cli, ChecksBeforeAnyChangeRefuseWithTheirOwnCodes) {
    const std::u16string inf = u"C:\\Program Files\\PortSetup\\PRT3Q42WD32.inf";
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        int exitCode;
        const char16_t* check;  // the finding that decides, as doctor names it
        Finding::Result result;  // its result once the install has run
    };
    const auto replaced = [&](Machine& m, const std::string& from, const std::string& to) {
        std::string& text = m.platform.files[inf];
        text.replace(text.find(from), from.size(), to);
    };
    const std::vector<Case> cases = {
        {"the Spooler is disabled", [](Machine& m) { m.platform.spooler.disabled = true; }, kExitSpoolerDisabled,
         u"print spooler", Finding::Result::Refused},
        {"the Spooler is not installed", [](Machine& m) { m.platform.spooler.exists = false; }, kExitSpoolerNotRunning,
         u"print spooler", Finding::Result::Refused},
        {"the Spooler is stopped and does not start",
         [](Machine& m) {
             m.platform.spooler.running = false;
             m.platform.spoolerStartFails = true;
         },
         kExitSpoolerNotRunning, u"print spooler", Finding::Result::Warning},  // doctor only looks
        {"Windows protected print mode",
         [](Machine& m) {
             m.registry.Put("SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP",
                            "WindowsProtectedPrintGroupPolicyState", platform::kRegDword, {1, 0, 0, 0});
         },
         kExitForbiddenByPolicy, u"driver policy", Finding::Result::Refused},
        {"Windows protected print mode explicitly off",
         [](Machine& m) {
             m.registry.Put("SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP",
                            "WindowsProtectedPrintGroupPolicyState", platform::kRegDword, {0, 0, 0, 0});
         },
         kExitDone, u"driver policy", Finding::Result::Passed},
        {"no catalog named", [&](Machine& m) { replaced(m, "CatalogFile=prt3q42wd32.cat", "; none"); },
         kExitPackageInvalid, u"driver package", Finding::Result::Refused},
        {"the catalog is missing",
         [](Machine& m) { m.platform.files.erase(u"C:\\Program Files\\PortSetup\\prt3q42wd32.cat"); },
         kExitPackageInvalid, u"driver package", Finding::Result::Refused},
        {"a package for 32-bit Windows only", [&](Machine& m) { replaced(m, "Kaldo,NTamd64,NTx86", "Kaldo,NTx86"); },
         kExitWrongProcessor, u"driver package", Finding::Result::Refused},
        {"another model", [&](Machine& m) { replaced(m, "\"KALDO QTX_VELTRO\"=", "\"KALDO QTX_OTHER\"="); },
         kExitPackageInvalid, u"driver package", Finding::Result::Refused},
        {"models sections with a version decoration, as vendors ship them",
         [&](Machine& m) {
             replaced(m, "Kaldo,NTamd64,NTx86", "Kaldo,NTamd64.10.0...16299,NTx86");
             replaced(m, "[Kaldo.NTamd64]", "[Kaldo.NTamd64.10.0...16299]");
         },
         kExitDone, u"driver package", Finding::Result::Passed},
        {"the Spooler is stopped and starts", [](Machine& m) { m.platform.spooler.running = false; }, kExitDone,
         u"print spooler", Finding::Result::Passed},
        {"32-bit Windows takes its own section", [](Machine& m) { m.platform.processor = u"x86"; }, kExitDone,
         u"driver package", Finding::Result::Passed},
        {"a restart is pending",
         [](Machine& m) {
             m.registry.Put("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based "
                            "Servicing\\RebootPending",
                            "x", platform::kRegDword, {1, 0, 0, 0});
         },
         kExitDone, u"restart", Finding::Result::Warning},
        {"another program holds the COM port", [](Machine& m) { m.platform.busyComPorts[u"COM2"] = u"another program holds it open"; },
         kExitDone, u"COM port", Finding::Result::Warning},
        {"an unsigned catalog",
         [](Machine& m) { m.platform.catalogTrust = {platform::System::CatalogTrust::State::Unverified, u"No signature was present in the subject."}; },
         kExitDone, u"driver signature", Finding::Result::Warning},
        {"a signer the machine does not trust",
         [](Machine& m) { m.platform.catalogTrust = {platform::System::CatalogTrust::State::SignerNotTrusted, u"KALDO S.p.A."}; },
         kExitDone, u"driver signature", Finding::Result::Warning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        c.arrange(m);
        EXPECT_EQ(c.exitCode, m.Run({u"install", u"--port", u"COM2"}));
        // The finding that decided, as the checks see the machine now.
        const auto findings = CheckBeforeInstall({u"C:\\Program Files\\PortSetup", u"COM2", false, true},
                                                 m.platform.Seams(m.registry), kVeltro).findings;
        const auto decided = std::find_if(findings.begin(), findings.end(),
                                          [&](const Finding& f) { return f.check == c.check; });
        ASSERT_NE(findings.end(), decided);
        EXPECT_EQ(c.result, decided->result);
        EXPECT_EQ(c.result == Finding::Result::Refused ? c.exitCode : 0, decided->exitCode);
        if (c.exitCode == kExitDone) {
            EXPECT_EQ(u"COM2:", m.platform.printerPorts[std::u16string(PrinterName)]);
            continue;
        }
        EXPECT_TRUE(m.platform.Started().empty());
        EXPECT_EQ("<none>", m.Port("COM2:"));
        EXPECT_TRUE(m.console.Has(m.console.err, u"nothing was changed. Fix: "));
        EXPECT_NE(std::u16string::npos, m.platform.eventLog.back().text.find(u"Exit code: " + setup::Number(c.exitCode)));
    }
}

// remove needs the Print Spooler as install does: disabled or missing is
// refused with its code and fix before anything is started; a stopped one
// is started and the removal goes on.
TEST(Cli, RemoveChecksThePrintSpoolerFirst) {
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        int exitCode;
        bool startsSpooler;
    };
    const std::vector<Case> cases = {
        {"disabled", [](Machine& m) { m.platform.spooler.disabled = true; }, kExitSpoolerDisabled, false},
        {"not installed", [](Machine& m) { m.platform.spooler.exists = false; }, kExitSpoolerNotRunning, false},
        {"stopped, and it does not start",
         [](Machine& m) {
             m.platform.spooler.running = false;
             m.platform.spoolerStartFails = true;
         },
         kExitSpoolerNotRunning, true},
        {"stopped, and it starts", [](Machine& m) { m.platform.spooler.running = false; }, kExitDone, true},
        {"running", [](Machine&) {}, kExitDone, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}));
        m.platform.eventLog.clear();
        c.arrange(m);
        EXPECT_EQ(c.exitCode, m.Run({u"remove"}));
        EXPECT_EQ(c.startsSpooler, !m.platform.EventsOf(RecordingPlatform::Event::Kind::StartService).empty());
        if (c.exitCode == kExitDone) {
            EXPECT_TRUE(m.platform.drivers.empty());
            continue;
        }
        EXPECT_TRUE(m.platform.Started().empty());
        EXPECT_FALSE(m.platform.drivers.empty());
        EXPECT_TRUE(m.console.Has(m.console.err, u"nothing was changed. Fix: "));
        EXPECT_NE(std::u16string::npos, m.OnlyEvent().text.find(u"Exit code: " + setup::Number(c.exitCode)));
    }
}

// Each elevated install and remove keeps its verdict under
// HKLM\SOFTWARE\PortSetup, for inventory and wrappers: the code, the
// verdict's text, the time and the command; other commands leave it as it is.
TEST(Cli, InstallAndRemoveKeepTheirLastVerdict) {
    Machine m;
    const auto value = [&](const char* name) { return m.registry.Get("SOFTWARE\\PortSetup", name); };
    const auto text = [&](const char* name) {
        const auto v = value(name);
        return v ? std::string(v->data.begin(), v->data.end() - 1) : std::string("<none>");
    };
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}));
    ASSERT_TRUE(value("LastExitCode"));
    EXPECT_EQ(platform::kRegDword, value("LastExitCode")->type);
    EXPECT_EQ((std::vector<std::uint8_t>{0, 0, 0, 0}), value("LastExitCode")->data);
    EXPECT_EQ("done", text("LastResult"));
    EXPECT_EQ("2026-12-08T10:00:00+01:00", text("LastRunTime"));
    EXPECT_EQ("PortSetupCli install --port COM2", text("LastCommand"));

    m.platform.spooler.disabled = true;
    EXPECT_EQ(kExitSpoolerDisabled, m.Run({u"remove"}));
    EXPECT_EQ((std::vector<std::uint8_t>{0x22, 0x04, 0, 0}), value("LastExitCode")->data);  // 1058
    EXPECT_EQ(0u, text("LastResult").find("failed: the Print Spooler service is disabled; nothing was changed. Fix: "));

    // Reads, and runs without the rights, leave it as it is; an elevated
    // refusal before the run (bad usage) is kept too.
    m.platform.spooler.disabled = false;
    EXPECT_EQ(kExitDone, m.Run({u"status"}));
    EXPECT_EQ(kExitDone, m.Run({u"doctor"}));
    EXPECT_EQ(kExitDone, m.Run({u"test-print"}));
    m.platform.defaultPrinter = u"Office";
    EXPECT_EQ(kExitDone, m.Run({u"set-default"}));
    m.platform.administrator = false;
    EXPECT_EQ(kExitNotAdministrator, m.Run({u"install", u"--port", u"COM2"}));
    EXPECT_EQ((std::vector<std::uint8_t>{0x22, 0x04, 0, 0}), value("LastExitCode")->data);
    m.platform.administrator = true;
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM0"}));
    EXPECT_EQ((std::vector<std::uint8_t>{87, 0, 0, 0}), value("LastExitCode")->data);
    // A text the code page cannot hold costs only its characters; line breaks become blanks.
    {
        Machine fresh;
        fresh.platform.failStartNumber = 0;  // its reason holds line breaks and the command line
        EXPECT_EQ(kExitFailed, fresh.Run({u"install", u"--port", u"COM3"}));
        const auto result = fresh.registry.Get("SOFTWARE\\PortSetup", "LastResult");
        ASSERT_TRUE(result);
        const std::string shown(result->data.begin(), result->data.end() - 1);
        EXPECT_EQ(std::string::npos, shown.find_first_of("\r\n?"));  // breaks as blanks, not lost
        EXPECT_EQ(0u, shown.find("failed: The printer setup tool could not be started:"));
        EXPECT_NE(std::string::npos, shown.find("rundll32 printui.dll"));
    }

    // A key that cannot be written is said in the event, and the verdict stands.
    m.registry.DenyAccess("SOFTWARE\\PortSetup");
    m.platform.eventLog.clear();
    EXPECT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2"}));
    EXPECT_NE(std::u16string::npos,
              m.OnlyEvent().text.find(u"Warning: the verdict could not be kept under HKLM\\SOFTWARE\\PortSetup (status 5)"));
}

TEST(Cli, DoctorReportsEveryCheckAndChangesNothing) {
    Machine m;
    m.platform.administrator = false;
    m.platform.spooler.running = false;
    EXPECT_EQ(kExitDone, m.Run({u"doctor", u"--port", u"COM2"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: print spooler: the Print Spooler is stopped; install starts it"));
    EXPECT_TRUE(m.console.OutHas(u"warning: installation: not installed as asked"));
    EXPECT_EQ(u"verdict: nothing would stop an installation", m.console.out.back());
    EXPECT_TRUE(m.platform.EventsOf(RecordingPlatform::Event::Kind::StartService).empty());

    // Every refusal is listed, not only the first; the exit code is the first's.
    m.platform.spooler.disabled = true;
    m.platform.files.erase(u"C:\\Program Files\\PortSetup\\prt3q42wd32.cat");
    EXPECT_EQ(kExitSpoolerDisabled, m.Run({u"doctor", u"--json"}));
    ASSERT_EQ(1u, m.console.out.size());
    // In the order install acts on them: the package's folder first.
    EXPECT_EQ(0u, m.console.out[0].find(u"{\"findings\":[{\"check\":\"package folder\",\"result\":\"passed\""));
    EXPECT_NE(std::u16string::npos,
              m.console.out[0].find(u"{\"check\":\"print spooler\",\"result\":\"refused\","
                                    u"\"detail\":\"the Print Spooler service is disabled\",\"fix\":\"set it"));
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"check\":\"driver package\",\"result\":\"refused\""));
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"],\"exitCode\":1058}"));
    EXPECT_TRUE(m.platform.Started().empty());
    EXPECT_TRUE(m.platform.fileEvents.empty());
    EXPECT_TRUE(m.platform.eventLog.empty());
}

TEST(Cli, RemoveDeletesLocalPrintersOnlyNeverAConnectionToAServersQueue) {
    Machine m;
    m.platform.drivers = {u"KALDO QTX_VELTRO"};
    const std::u16string connection = u"\\\\printsrv\\Kasse 2";
    for (const std::u16string& name : {std::u16string(u"POS A"), connection}) {
        m.platform.printers.push_back(name);
        m.platform.printerDrivers[name] = u"KALDO QTX_VELTRO";
    }
    m.platform.printerConnections = {connection};
    m.Run({u"remove"});
    for (const auto& line : m.platform.Started())
        EXPECT_EQ(std::u16string::npos, line.find(u"printsrv")) << setup::Utf8(line);
    EXPECT_EQ(std::string::npos, m.Log().find("printsrv"));
    EXPECT_NE(m.platform.printers.end(), std::find(m.platform.printers.begin(), m.platform.printers.end(), connection));
    EXPECT_EQ(m.platform.printers.end(), std::find(m.platform.printers.begin(), m.platform.printers.end(), u"POS A"));
}

TEST(Cli, RemoveFindsPrintersByTheirDriverAsThePrintSystemReportsIt) {
    Machine m;
    m.platform.drivers = {u"KALDO QTX_VELTRO"};
    const std::u16string fullWidth = u"\uFF30\uFF2F\uFF33 \uFF21";
    for (const std::u16string& name : {std::u16string(u"POS A"), fullWidth, std::u16string(u"Office")}) {
        m.platform.printers.push_back(name);
        m.platform.printerDrivers[name] = name == u"Office" ? u"Generic" : u"KALDO QTX_VELTRO";
    }
    m.platform.runTime = [](std::u16string_view line) -> std::optional<std::uint32_t> {
        return line.find(u"/dl") != std::u16string_view::npos ? 400 : 20;
    };
    ASSERT_EQ(kExitDone, m.Run({u"remove"}));
    EXPECT_EQ((std::vector<std::u16string>{
                  SetDefaultPrinterCommandLine(u"POS A"), QuietCommandLine(DeletePrinterCommandLine(u"POS A")),
                  SetDefaultPrinterCommandLine(fullWidth), QuietCommandLine(DeletePrinterCommandLine(fullWidth)),
                  DeleteDriverCommandLine(setup::kVeltro)}),
              m.platform.Started());
    // One at a time, each ended before the next starts.
    const auto& ended = m.platform.ended;
    ASSERT_EQ(5u, ended.size());
    for (std::size_t i = 1; i < ended.size(); ++i) EXPECT_LE(ended[i - 1].endedAt, ended[i].startedAt);
    EXPECT_EQ(std::vector<std::u16string>{u"Office"}, m.platform.printers);
    EXPECT_TRUE(m.platform.drivers.empty());
    EXPECT_NE(std::string::npos, m.Log().find("found: 2 printer(s)"));
    // The print system is asked no more than the checks need: the local
    // printers' details once, to find the printers; their names once, to see
    // them gone.
    using Kind = RecordingPlatform::Event::Kind;
    EXPECT_EQ(1u, m.platform.EventsOf(Kind::ListPrinterDetails).size());
    EXPECT_EQ(1u, m.platform.EventsOf(Kind::ListPrinters).size());
    EXPECT_EQ(1u, m.platform.EventsOf(Kind::ListPrinterDrivers).size());
}

TEST(Cli, RemoveLeavesTheDriverWhileAPrinterStillUsesIt) {
    Machine m;
    m.platform.drivers = {u"KALDO QTX_VELTRO"};
    m.platform.printers = {u"POS A"};
    m.platform.printerDrivers[u"POS A"] = u"KALDO QTX_VELTRO";
    // Another printer of the driver appears while the removal runs.
    std::size_t waits = 0;
    m.platform.duringWait = [&] {
        if (++waits == 2) {
            m.platform.printers.push_back(u"POS B");
            m.platform.printerDrivers[u"POS B"] = u"KALDO QTX_VELTRO";
        }
    };
    EXPECT_EQ(kExitDriverInUse, m.Run({u"remove"}));
    // The driver delete is tried once the printers found are gone, and the
    // print system keeps a driver in use: the run names the printer.
    EXPECT_EQ(3u, m.platform.Started().size());
    EXPECT_EQ(std::vector<std::u16string>{u"KALDO QTX_VELTRO"}, m.platform.drivers);
    EXPECT_NE(std::u16string::npos, m.console.err[0].find(u"still use it: \"POS B\" (a printer that uses it keeps it"));

    // A print system that stops answering after the deletes: the run says
    // what ran, and starts no driver delete.
    for (std::size_t from : {2u, 3u}) {
        Machine stops;
        stops.platform.drivers = {u"KALDO QTX_VELTRO"};
        stops.platform.printers = {u"POS A"};
        stops.platform.printerDrivers[u"POS A"] = u"KALDO QTX_VELTRO";
        stops.platform.listingsFailFrom = from;
        EXPECT_EQ(kExitFailed, stops.Run({u"remove"}));
        const std::u16string said = stops.console.err[0];
        EXPECT_EQ(std::u16string::npos, said.find(u"nothing was removed")) << setup::Utf8(said);
        EXPECT_NE(std::u16string::npos, said.find(from == 2 ? u"the printers could not be listed to check that they are gone"
                                                            : u"could not be listed to check that \"KALDO QTX_VELTRO\" is gone"))
            << setup::Utf8(said);
        EXPECT_EQ(from == 2 ? 2u : 3u, stops.platform.Started().size());
    }
}

TEST(Cli, StatusAsJson) {
    Machine m;
    m.platform.drivers = {u"KALDO QTX_VELTRO"};
    m.platform.printers = {u"Kasse \"1\" \u00D6", u"Office"};
    m.platform.printerDrivers = {{u"Kasse \"1\" \u00D6", u"KALDO QTX_VELTRO"}, {u"Office", u"Generic"}};
    m.platform.printerPorts = {{u"Kasse \"1\" \u00D6", u"COM2:"}, {u"Office", u"LPT1:"}};
    m.platform.defaultPrinter = u"Office";
    m.platform.serialComm = {u"COM2", u"COM1"};
    m.platform.driverVersions[u"KALDO QTX_VELTRO"] = u"1.2.3.10";
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--json", u"--port", u"COM2", u"--default"}));
    ASSERT_EQ(1u, m.console.out.size());
    EXPECT_EQ(u"{\"driver\":\"KALDO QTX_VELTRO\",\"driverInstalled\":true,\"driverVersion\":\"1.2.3.10\","
              u"\"minDriverVersion\":null,\"packageDriverVersion\":\"1.2.3.4\",\"printers\":[{\"name\":\"Kasse \\\"1\\\" "
              u"\u00D6\",\"port\":\"COM2:\",\"default\":false}],\"ourPrinter\":null,\"ourPrinterNote\":null,\"staleQueues\":[],\"defaultPrinter\":\"Office\",\"account\":"
              u"\"NT AUTHORITY\\\\SYSTEM\",\"windowsManagesDefault\":true,\"ports\":{\"COM1:\":"
              u"\"9600,n,8,1\",\"COM2:\":null,\"COM3:\":null,\"COM4:\":null},\"presentComPorts\":[\"COM1\","
              u"\"COM2\"],\"portDevices\":[],\"portDevicesReason\":null,\"driverPackages\":[],\"askedPort\":\"COM2\","
              u"\"askedDevice\":null,"
              u"\"installedAsAsked\":false,\"notAsAsked\":[\"no printer \\\"KALDO Veltro MiniPrinter\\\" uses the "
              u"driver\",\"\\\"KALDO Veltro MiniPrinter\\\" is not the default printer\",\"no settings are stored for "
              u"COM2:\"],\"warnings\":[]}",
              m.console.out[0]);

    // With --package, a driver older than the package's is not as asked (by
    // number: 1.2.3.10 is newer than 1.2.3.4).
    const std::u16string package = u"C:\\Program Files\\PortSetup";
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--package", package}));
    EXPECT_TRUE(m.console.OutHas(u"Driver version: installed 1.2.3.10; package 1.2.3.4"));
    m.platform.driverVersions[u"KALDO QTX_VELTRO"] = u"1.2.2.99";
    EXPECT_EQ(kExitDone, m.Run({u"status"}));
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--package", package}));
    EXPECT_TRUE(m.console.OutHas(u"the installed driver (version 1.2.2.99) is older than the package's (1.2.3.4)"));
}

// Detection of a new package: the installed driver must be at least the
// version asked; an older one, or one whose version cannot be read, is not
// as asked, so the deployment installs.
TEST(Cli, StatusWithAMinimumDriverVersion) {
    struct Row {
        std::u16string installed;  // "": the version cannot be read; "-": no driver
        std::u16string asked;
        int exitCode;
    };
    const Row rows[] = {
        {u"1.2.3.4", u"1.2.3.4", kExitDone},           {u"1.2.3.10", u"1.2.3.9", kExitDone},
        {u"2.0", u"1.9.9.9", kExitDone},               {u"1.2.3.4", u"1.2.3.5", kExitNotInstalled},
        {u"1.2.3.9", u"1.2.3.10", kExitNotInstalled}, {u"", u"1.0", kExitNotInstalled},
        {u"-", u"1.0", kExitNotInstalled},
    };
    for (const auto& row : rows) {
        Machine m;
        if (row.installed != u"-") {
            m.platform.drivers = {u"KALDO QTX_VELTRO"};
            if (!row.installed.empty()) m.platform.driverVersions[u"KALDO QTX_VELTRO"] = row.installed;
        }
        EXPECT_EQ(row.exitCode, m.Run({u"status", u"--min-driver-version", row.asked, u"--json"}))
            << setup::Utf8(row.installed) << " vs " << setup::Utf8(row.asked);
        ASSERT_EQ(1u, m.console.out.size());
        // The JSON carries the installed and the asked version.
        EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"minDriverVersion\":\"" + row.asked + u"\""));
        EXPECT_NE(std::u16string::npos,
                  m.console.out[0].find(u"\"driverVersion\":" +
                                        (row.installed.empty() || row.installed == u"-" ? u"null"
                                                                                       : u"\"" + row.installed + u"\"")));
    }
    // The reason names the versions; an unknown one says so.
    Machine m;
    m.platform.drivers = {u"KALDO QTX_VELTRO"};
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--min-driver-version", u"3.1.0.0"}));
    EXPECT_TRUE(m.console.OutHas(u"the installed driver's version is unknown (at least 3.1.0.0 is asked)"));
    // Not a version: bad usage, before anything is read.
    for (const char16_t* bad : {u"1.2.3.4.5", u"1..2", u"1.2.3.65536", u"v1", u"1.2.", u""})
        EXPECT_EQ(kExitUsage, m.Run({u"status", u"--min-driver-version", bad})) << setup::Utf8(bad);
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM1", u"--min-driver-version", u"1.0"}));
}

TEST(Cli, TheLogRollsOverAndAnUnwritableLogDoesNotStopTheJob) {
    Machine m;
    m.platform.files[kLog] = std::string(cli::kLogLimitBytes - 10, 'x');
    EXPECT_EQ(kExitDone, m.Run({u"remove", u"--log", kLog}));
    EXPECT_EQ(cli::kLogLimitBytes - 10, m.platform.files[u"C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.old.log"].size());
    EXPECT_LT(m.Log().size(), 2000u);
    EXPECT_EQ(0u, m.Log().find("2026-12-08T10:00:00+01:00 run: PortSetupCli remove --log"));
    EXPECT_EQ(u"a.old", cli::OlderLogName(u"a"));

    Machine locked;
    locked.platform.drivers = {u"KALDO QTX_VELTRO"};
    locked.platform.filesWritable = false;
    EXPECT_EQ(kExitDone, locked.Run({u"remove"}));
    // Said once each: no log, and no single-run lock without the machine folder.
    ASSERT_EQ(2u, locked.console.err.size());
    EXPECT_NE(std::u16string::npos, locked.console.err[0].find(u"is not written (C:\\ProgramData\\PortSetup could "
                                                                 u"not be made (Access is denied.))"));
    EXPECT_NE(std::u16string::npos, locked.console.err[1].find(u"single-run lock"));
    EXPECT_EQ(std::vector<std::u16string>{DeleteDriverCommandLine(setup::kVeltro)}, locked.platform.Started());
}

TEST(Cli, Utf8) {
    EXPECT_EQ("A\xC3\x96\xE2\x82\xAC\xF0\x9F\x96\xA8", setup::Utf8(u"A\u00D6\u20AC\U0001F5A8"));
    EXPECT_EQ("\xEF\xBF\xBDx", setup::Utf8(std::u16string(1, char16_t(0xD800)) + u"x"));
}

}  // namespace

namespace {

// Settings Windows' standard serial port cannot apply are stored as asked,
// and said: in the install's output, log and event, and in status and
// doctor for the settings stored for the printer's port.
TEST(Cli, SettingsTheSerialPortCannotApplyAreWarnedOfWhereverTheyAreSeen) {
    Machine m;
    const std::u16string warning = u"the line settings 9600,n,8,1.5 have 8 data bits with 1.5 stop bits";
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2", u"--settings", u"9600,n,8,1.5"}));
    EXPECT_EQ("9600,n,8,1.5", m.Port("COM2:"));
    EXPECT_TRUE(m.console.OutHas(u"warning: " + warning));
    EXPECT_NE(std::string::npos, m.Log().find("warning: " + setup::Utf8(warning)));
    EXPECT_NE(std::u16string::npos, m.OnlyEvent().text.find(u"Warning: " + warning));
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--port", u"COM2"}));
    EXPECT_TRUE(m.console.OutHas(u"Warning: COM2: (\"KALDO Veltro MiniPrinter\"): " + warning));
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--json"}));
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"warnings\":[\"COM2: (\\\"KALDO Veltro MiniPrinter\\\"): " + warning));
    ASSERT_EQ(kExitDone, m.Run({u"doctor", u"--port", u"COM2"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: line settings: COM2: (\"KALDO Veltro MiniPrinter\"): " + warning));

    // Settings it can apply: no word of it.
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM2", u"--settings", u"9600,n,8,2"}));
    EXPECT_FALSE(m.console.OutHas(u"cannot apply"));
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--json"}));
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"warnings\":[]"));
}

}  // namespace

namespace {

// Device installation restrictions block what Plug and Play installs: the
// USB printer's driver. install --port USB and doctor --port USB refuse
// alike where a policy would deny it; one that lets administrators through
// passes, saying so; a COM port's printer is no device installation.
TEST(Cli, DeviceInstallationPoliciesThatDenyTheUsbPrintersDriverAreRefusedFirst) {
    const char* const key = "SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall\\Restrictions";
    const auto on = [&](Machine& m, const char* name) { m.registry.Put(key, name, platform::kRegDword, {1, 0, 0, 0}); };
    const auto denyClass = [&](Machine& m, const char* guid) {
        on(m, "DenyDeviceClasses");
        m.registry.PutString(std::string(key) + "\\DenyDeviceClasses", "1", "{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
        m.registry.PutString(std::string(key) + "\\DenyDeviceClasses", "2", guid);
    };
    struct Case {
        const char* what;
        std::function<void(Machine&)> arrange;
        int usb;  // install and doctor with --port USB
        int com;  // install with --port COM2
    };
    const std::vector<Case> cases = {
        {"no policy", [](Machine&) {}, kExitDone, kExitDone},
        {"the printer class denied", [&](Machine& m) { denyClass(m, "{4D36E979-E325-11CE-BFC1-08002BE10318}"); },
         kExitDeviceInstallDenied, kExitDone},
        {"the printer upgrade class denied", [&](Machine& m) { denyClass(m, "{4658ee7e-f050-11d1-b6bd-00c04fa372a7}"); },
         kExitDeviceInstallDenied, kExitDone},
        {"another class denied", [&](Machine& m) { denyClass(m, "{36fc9e60-c465-11cf-8056-444553540000}"); },
         kExitDone, kExitDone},
        {"the class list without the policy on",
         [&](Machine& m) {
             denyClass(m, "{4d36e979-e325-11ce-bfc1-08002be10318}");
             m.registry.Put(key, "DenyDeviceClasses", platform::kRegDword, {0, 0, 0, 0});
         },
         kExitDone, kExitDone},
        {"every device no policy allows", [&](Machine& m) { on(m, "DenyUnspecified"); }, kExitDeviceInstallDenied,
         kExitDone},
        {"denied, but administrators let through",
         [&](Machine& m) {
             on(m, "DenyUnspecified");
             on(m, "AllowAdminInstall");
         },
         kExitDone, kExitDone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine doctor;
        c.arrange(doctor);
        EXPECT_EQ(c.usb, doctor.Run({u"doctor", u"--port", u"USB"}));
        Machine usb;
        c.arrange(usb);
        EXPECT_EQ(c.usb, usb.Run({u"install", u"--port", u"USB"}));
        EXPECT_EQ(c.usb == kExitDone, !usb.platform.Started().empty());
        if (c.usb != kExitDone) {
            EXPECT_TRUE(usb.console.Has(usb.console.err, u"a device installation policy would deny the USB printer's driver"));
        }
        Machine com;
        c.arrange(com);
        EXPECT_EQ(c.com, com.Run({u"install", u"--port", u"COM2"}));
    }
}

}  // namespace
