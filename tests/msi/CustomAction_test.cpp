// The MSI's custom action: what it runs, and what PortSetupCli's end means
// to Windows Installer.
#include "msi/CustomAction.h"
#include "setup/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using msi::CliRun;

constexpr std::u16string_view kData = u"\"C:\\Program Files\\PortSetup\\PortSetupCli.exe\" install --port \"COM3\" --remember";

TEST(CustomAction, RunsOnlyAPortSetupCliNamedWholeInQuotes) {
    const auto command = msi::ReadCliCommand(kData);
    ASSERT_TRUE(command);
    EXPECT_EQ(u"C:\\Program Files\\PortSetup\\PortSetupCli.exe", command->program);
    EXPECT_EQ(u"install", command->verb);
    EXPECT_EQ(std::u16string(kData), command->commandLine);
    EXPECT_EQ(u"remove", msi::ReadCliCommand(u"\"C:\\P\\portsetupcli.EXE\" remove")->verb);
    // The commands' time limit the reader's own follows: --timeout's, else the default.
    EXPECT_EQ(300000u, command->timeoutMilliseconds);
    for (const auto& [data, milliseconds] : std::vector<std::pair<std::u16string, std::uint32_t>>{
             {u"\"C:\\P\\PortSetupCli.exe\" install --timeout 5 --remember", 5000},
             {u"\"C:\\P\\PortSetupCli.exe\" remove --timeout 86400", 86400000},
             {u"\"C:\\P\\PortSetupCli.exe\" remove --timeout 0", 300000},
             {u"\"C:\\P\\PortSetupCli.exe\" remove --timeout 5x", 300000},
             {u"\"C:\\P\\PortSetupCli.exe\" remove --timeout 99999999", 300000}})
        EXPECT_EQ(milliseconds, msi::ReadCliCommand(data)->timeoutMilliseconds) << setup::Utf8(data);
    for (const char16_t* refused :
         {u"C:\\P\\PortSetupCli.exe install", u"\"C:\\P\\PortSetupCli.exe install", u"\"C:\\P\\Other.exe\" install",
          u"\"C:\\P\\PortSetupCli.exe\"", u"\"C:\\P\\PortSetupCli.exe\"   ", u"\"C:\\P\\PortSetupCli.exe\"install",
          u"\"PortSetupCli.exe\" install", u"\"C:\\P\\XPortSetupCli.exe\" install", u""})
        EXPECT_FALSE(msi::ReadCliCommand(refused)) << setup::Utf8(refused);
}

// Exit code to Windows Installer: 0 success; 3010 success and a restart at
// the end; anything else an error that names the cause and its fix.
TEST(CustomAction, TheExitCodeDecides) {
    const auto command = *msi::ReadCliCommand(kData);
    struct Row {
        bool started;
        std::uint32_t exitCode;
        bool succeeded, restart;
        bool read = true;     // the exit code was read
        bool gaveUp = false;  // the run said nothing past the reader's limit
    };
    for (const Row& row : {Row{true, 0, true, false}, Row{true, 3010, true, true}, Row{true, 1603, false, false},
                           Row{true, 1058, false, false}, Row{true, 1, false, false}, Row{true, 3011, false, false},
                           Row{false, 0, false, false},
                           // A code that could not be read is no success, nor is a run given up on.
                           Row{true, 0, false, false, false}, Row{true, 0, false, false, true, true},
                           Row{true, 3010, false, false, true, true}}) {
        CliRun run;
        run.started = row.started;
        run.exitCode = row.exitCode;
        run.exitCodeRead = row.read;
        run.gaveUp = row.gaveUp;
        const auto outcome = msi::JudgeRun(command, run);
        EXPECT_EQ(row.succeeded, outcome.succeeded) << row.exitCode;
        EXPECT_EQ(row.restart, outcome.restart) << row.exitCode;
        EXPECT_EQ(row.succeeded, outcome.errorText.empty()) << row.exitCode;
    }
    // A removal's restart finishes the driver package's removal, not a USB printer's install.
    CliRun restart;
    restart.started = restart.exitCodeRead = true;
    restart.exitCode = 3010;
    const auto removal = msi::JudgeRun(*msi::ReadCliCommand(u"\"C:\\P\\PortSetupCli.exe\" remove"), restart);
    EXPECT_TRUE(removal.restart);
    EXPECT_EQ(u"PortSetupCli remove ended with exit code 3010: done; Windows must restart to finish removing the driver "
              u"package",
              removal.summary);
}

TEST(CustomAction, TheErrorNamesTheRunsCauseAndFix) {
    const auto command = *msi::ReadCliCommand(kData);
    CliRun run;
    run.started = true;
    run.exitCodeRead = true;
    run.exitCode = 1058;
    run.lines = {u"run: ...", u"PortSetupCli: the machine folder was taken back: x",
                 u"PortSetupCli: the Print Spooler service is disabled; nothing was changed. Fix: set it to start",
                 u"automatically", u"failed"};
    EXPECT_EQ(u"the Print Spooler service is disabled; nothing was changed. Fix: set it to start\r\nautomatically",
              msi::CauseOf(run.lines));
    const auto outcome = msi::JudgeRun(command, run);
    EXPECT_EQ(0u, outcome.errorText.find(u"PortSetup could not install the printer driver (PortSetupCli exit code "
                                         u"1058):\r\nthe Print Spooler service is disabled"));
    EXPECT_NE(std::u16string::npos, outcome.summary.find(u"exit code 1058: the Print Spooler service is disabled"));
    // Without a reason line the code still says it failed.
    run.lines = {u"failed"};
    EXPECT_EQ(u"", msi::CauseOf(run.lines));
    EXPECT_NE(std::u16string::npos, msi::JudgeRun(command, run).errorText.find(u"exit code 1058"));
    // remove says so.
    EXPECT_EQ(0u, msi::JudgeRun(*msi::ReadCliCommand(u"\"C:\\P\\PortSetupCli.exe\" remove"), run)
                      .errorText.find(u"PortSetup could not remove the printer driver"));
}

TEST(CustomAction, OutputBecomesLinesAndRecordTextStaysPlain) {
    std::string pending = "done: a\r\npartial";
    std::vector<std::u16string> lines;
    msi::TakeLines(pending, lines, false);
    EXPECT_EQ(std::vector<std::u16string>{u"done: a"}, lines);
    EXPECT_EQ("partial", pending);
    pending += " line \xC3\x96\n\xFF tail";
    msi::TakeLines(pending, lines, true);
    EXPECT_EQ((std::vector<std::u16string>{u"done: a", u"partial line \u00D6", u"\uFFFD tail"}), lines);
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(u"(INSTALLFOLDER) (1) ((x))", msi::PlainForRecord(u"[INSTALLFOLDER] [1] {{x}}"));
}

TEST(Text, Utf8RoundTripsAndRefusesWhatIsNotUtf8) {
    const std::u16string text = u"A\u00D6\u20AC\U0001F5A8";
    EXPECT_EQ(text, setup::FromUtf8(setup::Utf8(text)));
    // Overlong, surrogate, truncated and stray bytes each become U+FFFD.
    EXPECT_EQ(u"\uFFFD\uFFFDa", setup::FromUtf8("\xC0\xAF" "a"));
    EXPECT_EQ(u"\uFFFD\uFFFD\uFFFD", setup::FromUtf8("\xED\xA0\x80"));
    EXPECT_EQ(u"\uFFFD\uFFFD", setup::FromUtf8("\xE2\x82"));
    EXPECT_EQ(u"\uFFFDb", setup::FromUtf8("\x80" "b"));
}

}  // namespace
