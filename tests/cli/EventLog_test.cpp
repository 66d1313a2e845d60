// What administrators read without opening a file: the one event each run
// leaves in the Application log.
#include "cli/RunLog.h"
#include "setup/CommandLines.h"
#include "setup/Text.h"
#include "setup/RunEvents.h"
#include "setup/DefaultPrinter.h"
#include "setup/ExitCodes.h"
#include "setup/Install.h"
#include "setup/Remove.h"
#include "setup/Status.h"
#include "setup/TestPrint.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::EventType;
using namespace setup;

namespace {

constexpr const char16_t* kLog = u"C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log";

struct Machine : testing_support::CliMachine {
    Machine() { platform.serialComm = {u"COM1", u"COM3"}; }
    void Installed() {
        platform.printers = {std::u16string(PrinterName)};
        platform.printerDrivers = {{std::u16string(PrinterName), std::u16string(DriverModel)}};
        platform.printerPorts = {{std::u16string(PrinterName), u"COM3:"}};
        platform.drivers = {std::u16string(DriverModel)};
    }
};

bool Has(std::u16string_view text, std::u16string_view part) { return text.find(part) != std::u16string_view::npos; }

TEST(RunEvents, TheTextReadsWholeWithoutTheMessageTable) {
    RunRecord record;
    record.command = RunCommand::Remove;
    record.commandLine = u"PortSetupCli remove";
    EXPECT_EQ(kEventRemoveSucceeded, EventIdOf(record));
    EXPECT_EQ(u"Verdict: done\r\nExit code: 0\r\nCommand: PortSetupCli remove", EventTextOf(record));

    record.exitCode = 1460;
    record.reason = u"\"rundll32 ...\" did not end within 300 s";
    record.warnings = {u"COM3 is not present on this machine; present: none", u"second"};
    record.logPath = kLog;
    EXPECT_EQ(kEventRemoveFailed, EventIdOf(record));
    EXPECT_EQ(u"Verdict: failed\r\nExit code: 1460\r\nReason: \"rundll32 ...\" did "
              u"not end within 300 s\r\nWarning: COM3 is not present on this machine; present: none\r\nWarning: "
              u"second\r\nLog: C:\\ProgramData\\PortSetup\\Logs\\PortSetupCli.log\r\nCommand: PortSetupCli remove",
              EventTextOf(record));

    // A command line cannot forge lines of its own, and only it gives way to the limit.
    record.commandLine = u"PortSetupCli install --port \"COM3\r\nVerdict: done\r\nExit code: 0\x01\"";
    EXPECT_TRUE(EventTextOf(record).ends_with(
        u"\r\nCommand: PortSetupCli install --port \"COM3<CR><LF>Verdict: done<CR><LF>Exit code: 0<U+0001>\""));
    // Nor with Unicode's own line breaks, nor turn a line around with a
    // bidirectional control; the characters around them stay as they are.
    record.commandLine = u"PortSetupCli x\u0085a\u2028b\u2029c\u202Ed\u2066e\u2069\u00E9\u202F";
    EXPECT_TRUE(EventTextOf(record).ends_with(
        u"\r\nCommand: PortSetupCli x<U+0085>a<U+2028>b<U+2029>c<U+202E>d<U+2066>e<U+2069>\u00E9\u202F"));
    // Nor can it make Event Viewer put a parameter message in its place.
    record.commandLine = u"PortSetupCli install --package \"C:\\%%1\"";
    EXPECT_TRUE(EventTextOf(record).ends_with(u"\r\nCommand: PortSetupCli install --package \"C:\\<U+0025>%1\""));
    record.commandLine = u"PortSetupCli " + std::u16string(40000, u'x');
    const std::u16string longText = EventTextOf(record);
    EXPECT_LE(longText.size(), kEventTextLimit);
    EXPECT_EQ(0u, longText.find(u"Verdict: failed\r\nExit code: 1460\r\nReason: "));
    EXPECT_TRUE(longText.ends_with(u"xxx ... (shortened)"));

    // Each command has its own pair of IDs, the failure one above the success.
    const std::pair<RunCommand, std::uint32_t> ids[] = {{RunCommand::Install, 1000},
                                                        {RunCommand::Remove, 1010},
                                                        {RunCommand::SetDefault, 1020},
                                                        {RunCommand::Delete, 1030}};
    for (const auto& [command, id] : ids) {
        record.command = command;
        record.exitCode = 0;
        EXPECT_EQ(id, EventIdOf(record));
        record.exitCode = 2;
        EXPECT_EQ(id + 1, EventIdOf(record));
    }
}

TEST(RunEvents, EachInstallAndRemoveRunLeavesOneEventWithItsVerdict) {
    {  // install done
        Machine m;
        ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM3"}));
        const auto& event = m.OnlyEvent();
        EXPECT_EQ(EventType::Information, event.type);
        EXPECT_EQ(kEventInstallSucceeded, event.id);
        EXPECT_EQ(u"Verdict: done\r\nExit code: 0\r\nLog: " + std::u16string(kLog) +
                      u"\r\nCommand: PortSetupCli install --port COM3",
                  event.text);
    }
    {  // install failed: the reason, as on stderr
        Machine m;
        m.platform.failStartNumber = 0;
        ASSERT_EQ(kExitFailed, m.Run({u"install", u"--port", u"COM1"}));
        const auto& event = m.OnlyEvent();
        EXPECT_EQ(EventType::Error, event.type);
        EXPECT_EQ(kEventInstallFailed, event.id);
        ASSERT_FALSE(m.console.err.empty());
        // The reason's own lines, indented: no line of it can pass for a line of the event.
        EXPECT_TRUE(Has(event.text, u"Verdict: failed\r\nExit code: 1603\r\nReason: The printer setup tool could not "
                                    u"be started:\r\n  \r\n  rundll32 printui.dll"));
    }
    {  // remove done, then remove refused by the print system
        Machine m;
        m.Installed();
        ASSERT_EQ(kExitDone, m.Run({u"remove"}));
        EXPECT_EQ(kEventRemoveSucceeded, m.OnlyEvent().id);
        m.Installed();
        m.platform.printerListingFails = u"The RPC server is unavailable.";
        m.platform.eventLog.clear();
        ASSERT_EQ(kExitFailed, m.Run({u"remove"}));
        EXPECT_EQ(kEventRemoveFailed, m.OnlyEvent().id);
        EXPECT_TRUE(Has(m.OnlyEvent().text, u"The RPC server is unavailable."));
    }
    {  // runs that end before their job: bad usage, no rights, another run
        Machine m;
        EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM0"}));
        EXPECT_EQ(kEventInstallFailed, m.OnlyEvent().id);
        EXPECT_TRUE(Has(m.OnlyEvent().text, u"Exit code: 87\r\nReason: bad usage: --port \"COM0\" is not a COM port"));
        EXPECT_FALSE(Has(m.OnlyEvent().text, u"Log:"));  // a refused line writes no log

        m.platform.eventLog.clear();
        m.platform.administrator = false;
        EXPECT_EQ(kExitNotAdministrator, m.Run({u"remove"}));
        EXPECT_EQ(kEventRemoveFailed, m.OnlyEvent().id);
        EXPECT_TRUE(Has(m.OnlyEvent().text, u"Exit code: 5\r\nReason: install and remove need administrator rights"));
        EXPECT_FALSE(Has(m.OnlyEvent().text, u"Log:"));  // nothing was logged

        m.platform.eventLog.clear();
        m.platform.administrator = true;
        m.platform.anotherRunActive = true;
        EXPECT_EQ(kExitAlreadyRunning, m.Run({u"remove"}));
        EXPECT_EQ(EventType::Error, m.OnlyEvent().type);
        EXPECT_TRUE(Has(m.OnlyEvent().text, u"Exit code: 1618\r\nReason: another PortSetupCli run is in progress"));
    }
    {  // status, help and version leave none
        Machine m;
        m.Run({u"status"});
        m.Run({u"status", u"--json"});
        m.Run({u"--help"});
        m.Run({u"--version"});
        m.Run({});
        EXPECT_TRUE(m.platform.eventLog.empty());
    }
}

TEST(RunEvents, SetDefaultLeavesOneEventToo) {
    Machine m;
    m.platform.administrator = false;
    ASSERT_EQ(kExitNoPrinter, m.Run({u"set-default", u"--quiet"}));  // not installed
    EXPECT_EQ(kEventSetDefaultFailed, m.OnlyEvent().id);
    EXPECT_TRUE(Has(m.OnlyEvent().text, u"Verdict: failed\r\nExit code: 3012"));
    EXPECT_TRUE(m.OnlyEvent().text.ends_with(u"\r\nCommand: PortSetupCli set-default --quiet"));
    m.Installed();
    m.platform.eventLog.clear();
    ASSERT_EQ(kExitDone, m.Run({u"set-default"}));
    EXPECT_EQ(kEventSetDefaultSucceeded, m.OnlyEvent().id);
    EXPECT_EQ(EventType::Information, m.OnlyEvent().type);
    m.platform.eventLog.clear();
    EXPECT_EQ(kExitUsage, m.Run({u"set-default", u"--timeout", u"0"}));
    EXPECT_EQ(kEventSetDefaultFailed, m.OnlyEvent().id);
}

TEST(RunEvents, ARunEndedFromOutsideItsVerdictStillLeavesItsEvent) {
    // The set-default watchdog, and an internal error, end a run this way.
    testing_support::RecordingPlatform platform;
    testing_support::MemoryRegistry registry;
    cli::ReportRunEvent(platform.Seams(registry), cli::ReadCommandLine({u"set-default", u"--quiet"}), 1, u"the print system did not answer in time");
    ASSERT_EQ(1u, platform.eventLog.size());
    EXPECT_EQ(kEventSetDefaultFailed, platform.eventLog[0].id);
    EXPECT_EQ(EventType::Error, platform.eventLog[0].type);
    EXPECT_EQ(u"Verdict: failed\r\nExit code: 1\r\nReason: the print "
              u"system did not answer in time\r\nCommand: PortSetupCli set-default --quiet",
              platform.eventLog[0].text);
    cli::ReportRunEvent(platform.Seams(registry), cli::ReadCommandLine({u"install", u"--port", u"COM 3"}), 1, u"an internal error ended the run.");
    EXPECT_EQ(kEventInstallFailed, platform.eventLog.back().id);
    EXPECT_TRUE(platform.eventLog.back().text.ends_with(u"Command: PortSetupCli install --port \"COM 3\""));
    for (const std::vector<std::u16string>& other :
         {std::vector<std::u16string>{u"status"}, {u"--version"}, {u"bogus"}, {}})
        cli::ReportRunEvent(platform.Seams(registry), cli::ReadCommandLine(other), 1, u"x");
    EXPECT_EQ(2u, platform.eventLog.size());
}

TEST(RunEvents, AnEventThatCannotBeWrittenChangesNothingElse) {
    Machine written, unwritten;
    unwritten.platform.eventLogFails = true;
    for (Machine* m : {&written, &unwritten}) {
        m->platform.failStartNumber = 0;
        EXPECT_EQ(kExitFailed, m->Run({u"install", u"--port", u"COM3"}));
    }
    EXPECT_EQ(written.console.out, unwritten.console.out);
    EXPECT_EQ(written.console.err, unwritten.console.err);
    EXPECT_EQ(written.Log(), unwritten.Log());
    EXPECT_TRUE(unwritten.platform.eventLog.empty());
}

}  // namespace

namespace {

// --log-format cmtrace: the copy in CMTrace's line format, its type from
// the line (warning 2, a failed verdict 3, else 1), the time with the bias
// CMTrace expects (minutes west of UTC); the machine log stays as it is.
TEST(CmTrace, TheCopyIsInCmTracesFormatAndTheMachineLogAsEver) {
    EXPECT_EQ(u"<![LOG[found: C:\\Setup\\PRT3Q42WD32.inf]LOG]!><time=\"10:00:00.000-060\" date=\"12-08-2026\" "
              u"component=\"PortSetupCli\" context=\"\" type=\"1\" thread=\"7\" file=\"\">",
              cli::CmTraceLine(u"found: C:\\Setup\\PRT3Q42WD32.inf", u"2026-12-08T10:00:00+01:00", 7));
    const std::pair<const char16_t*, const char16_t*> types[] = {
        {u"warning: COM3 is not present", u"type=\"2\""},
        {u"verdict: failed, exit code 1058: the Print Spooler service is disabled", u"type=\"3\""},
        {u"verdict: done, exit code 0", u"type=\"1\""},
    };
    for (const auto& [line, type] : types)
        EXPECT_NE(std::u16string::npos, cli::CmTraceLine(line, u"2026-12-08T10:00:00+01:00", 7).find(type));
    EXPECT_NE(std::u16string::npos,
              cli::CmTraceLine(u"x", u"2026-06-01T23:59:58-05:30", 1).find(u"time=\"23:59:58.000+330\" date=\"06-01-2026\""));
    EXPECT_NE(std::u16string::npos, cli::CmTraceLine(u"x", u"2026-06-01T08:00:00+00:00", 1).find(u".000+000\""));
    // A text cannot end its entry, or start one of its own.
    const std::u16string forged = cli::CmTraceLine(u"a]LOG]!><time=\"x\"\r\n<![LOG[verdict: done", u"2026-12-08T10:00:00+01:00", 7);
    EXPECT_EQ(forged.find(u"]LOG]!>"), forged.rfind(u"]LOG]!>"));
    EXPECT_EQ(forged.find(u"<![LOG["), forged.rfind(u"<![LOG["));
    EXPECT_EQ(std::u16string::npos, forged.find(u'\n'));

    // The run: the copy in CMTrace's format, the machine log as it was.
    testing_support::CliMachine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM1", u"--log", u"C:\\Logs\\ps.log", u"--log-format", u"cmtrace"}));
    const std::string copy = m.platform.files[u"C:\\Logs\\ps.log"];
    EXPECT_EQ(0u, copy.find("<![LOG[run: PortSetupCli install --port COM1 --log C:\\Logs\\ps.log --log-format cmtrace]LOG]!>"));
    EXPECT_NE(std::string::npos, copy.find("<![LOG[verdict: done, exit code 0]LOG]!><time=\"10:00:00.000-060\""));
    EXPECT_EQ(0u, m.Log().find("2026-12-08T10:00:00+01:00 run: PortSetupCli install"));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM1", u"--log-format", u"cmtrace"}));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM1", u"--log", u"C:\\Logs\\ps.log", u"--log-format", u"xml"}));
    EXPECT_EQ(kExitUsage, m.Run({u"status", u"--log-format", u"cmtrace"}));
}

}  // namespace
