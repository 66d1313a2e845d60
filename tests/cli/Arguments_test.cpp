// PortSetupCli's argument rules: what parses into which command, and what is
// refused with a message that names the fault.
#include "cli/Arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace cli;

namespace {

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

Parsed Parse(const std::vector<std::u16string>& args) { return ParseArguments(args); }

// The refusal's message, which must mention every one of `parts`.
void ExpectRefused(const std::vector<std::u16string>& args, const std::vector<std::u16string>& parts) {
    const Parsed parsed = Parse(args);
    std::u16string line;
    for (const auto& a : args) line += a + u" ";
    ASSERT_FALSE(parsed.command) << Narrow(line);
    for (const auto& part : parts)
        EXPECT_NE(std::u16string::npos, parsed.error.find(part)) << Narrow(parsed.error) << " lacks " << Narrow(part);
}

TEST(CliArguments, OptionsInAnyOrderAndInBothForms) {
    const Parsed a = Parse({u"install", u"--settings=19200,e,7,1,x", u"--port", u"com3", u"--timeout", u"20",
                            u"--package=C:\\Kaldo Pkg", u"--log", u"D:\\x.log"});
    ASSERT_TRUE(a.command) << Narrow(a.error);
    EXPECT_EQ(Action::Install, a.command->action);
    EXPECT_EQ(u"COM3", a.command->port);
    EXPECT_EQ(u"19200,e,7,1,x", a.command->settings);
    EXPECT_EQ(20u, a.command->timeoutSeconds);
    EXPECT_EQ(u"C:\\Kaldo Pkg", a.command->package);
    EXPECT_EQ(u"D:\\x.log", a.command->log);
    // Printed back and parsed again, it is the same command.
    const Parsed again = ParseArguments(ToArguments(*a.command));
    ASSERT_TRUE(again.command);
    EXPECT_EQ(ToArguments(*a.command), ToArguments(*again.command));

    const Parsed status = Parse({u"status", u"--json", u"--port=USB"});
    ASSERT_TRUE(status.command);
    EXPECT_TRUE(status.command->json);
    EXPECT_EQ(u"USB", status.command->port);
    EXPECT_EQ(Action::Remove, Parse({u"remove"}).command->action);
    EXPECT_EQ(Action::Help, Parse({u"install", u"--help"}).command->action);
    EXPECT_EQ(Action::Version, Parse({u"--version"}).command->action);
}

TEST(CliArguments, BadUsageNamesTheFaultAndWhatIsAllowed) {
    ExpectRefused({}, {u"No command"});
    ExpectRefused({u"uninstall"}, {u"uninstall", u"install, remove, status and set-default"});
    ExpectRefused({u"install"}, {u"--port", u"COM1"});
    ExpectRefused({u"install", u"--port", u"COM5"}, {u"COM5", u"COM1, COM2, COM3, COM4, USB"});
    ExpectRefused({u"install", u"--port", u"COM1", u"--settings", u"9601,n,8,1,p"}, {u"9601", u"115200"});
    ExpectRefused({u"install", u"--port", u"USB", u"--settings", u"9600,n,8,1,p"}, {u"--settings", u"USB"});
    ExpectRefused({u"install", u"--port", u"COM1", u"--speed", u"9600"}, {u"--speed", u"--port, --settings"});
    ExpectRefused({u"install", u"--port", u"COM1", u"--port", u"COM2"}, {u"--port", u"more than once"});
    ExpectRefused({u"install", u"--port=COM1", u"--port=COM1"}, {u"more than once"});
    ExpectRefused({u"install", u"--port"}, {u"--port", u"needs a value"});
    ExpectRefused({u"install", u"--port="}, {u"needs a value"});
    ExpectRefused({u"remove", u"--port", u"COM1"}, {u"--port", u"for remove"});
    ExpectRefused({u"remove", u"--json"}, {u"--json"});
    ExpectRefused({u"status", u"--json=yes"}, {u"--json", u"no value"});
    ExpectRefused({u"status", u"--settings", u"9600,n,8,1"}, {u"--settings", u"needs --port"});
    ExpectRefused({u"status", u"COM1"}, {u"COM1", u"--"});
    ExpectRefused({u"--version", u"status"}, {u"--version"});
    for (const char16_t* t : {u"0", u"86401", u"-5", u"1e3", u"12s", u"99999999999999999999"})
        ExpectRefused({u"remove", u"--timeout", t}, {u"--timeout", u"1 to 86400"});
    EXPECT_EQ(86400u, Parse({u"remove", u"--timeout", u"86400"}).command->timeoutSeconds);
}

}  // namespace
