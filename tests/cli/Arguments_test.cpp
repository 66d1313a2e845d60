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
    EXPECT_EQ(u"COM3", a.command->port->Name());
    EXPECT_EQ(u"19200,e,7,1,x", a.command->settings);
    EXPECT_EQ(20u, a.command->timeoutSeconds);
    EXPECT_EQ(u"C:\\Kaldo Pkg", a.command->package);
    EXPECT_EQ(u"D:\\x.log", a.command->log);
    // Printed back and parsed again, it is the same command.
    const Parsed again = ParseArguments(ToArguments(*a.command));
    ASSERT_TRUE(again.command);
    EXPECT_EQ(*a.command, *again.command);
    // Every option a command can hold comes back, flags included.
    for (const std::vector<std::u16string>& given : std::vector<std::vector<std::u16string>>{
             {u"status", u"--port", u"COM2", u"--settings", u"19200,e,7,1,x", u"--default", u"--json",
              u"--min-driver-version", u"1.2.3.4", u"--package", u"D:\\p"},
             {u"status", u"--stored", u"--default"},
             {u"install", u"--stored-port", u"", u"--stored-settings", u"x", u"--remember", u"--timeout", u"9",
              u"--log", u"D:\\l.log"},
             {u"set-default", u"--quiet"},
         }) {
        const Parsed first = ParseArguments(given);
        ASSERT_TRUE(first.command) << Narrow(first.error);
        const Parsed back = ParseArguments(ToArguments(*first.command));
        ASSERT_TRUE(back.command) << Narrow(back.error);
        EXPECT_EQ(*first.command, *back.command) << Narrow(given[0]);
        EXPECT_EQ(given.size(), ToArguments(*first.command).size());
    }

    const Parsed status = Parse({u"status", u"--json", u"--port=USB"});
    ASSERT_TRUE(status.command);
    EXPECT_TRUE(status.command->json);
    EXPECT_EQ(u"USB", status.command->port->Name());
    EXPECT_EQ(Action::Remove, Parse({u"remove"}).command->action);
    EXPECT_EQ(Action::Help, Parse({u"install", u"--help"}).command->action);
    EXPECT_EQ(Action::Version, Parse({u"--version"}).command->action);
}

TEST(CliArguments, BadUsageNamesTheFaultAndWhatIsAllowed) {
    ExpectRefused({}, {u"No command"});
    ExpectRefused({u"uninstall"}, {u"uninstall", u"install, repair, remove, status, set-default, doctor and test-print"});
    ExpectRefused({u"install"}, {u"--port", u"COM1"});
    for (const char16_t* port : {u"COM0", u"COM257", u"COM05", u"COM3x", u"LPT1", u"COM", u"COM99999999999"})
        ExpectRefused({u"install", u"--port", port}, {port, u"COM1 to COM256, nor USB"});
    for (const char16_t* port : {u"com7", u"COM12", u"Com256"})
        EXPECT_EQ(u"COM" + std::u16string(port + 3), Parse({u"status", u"--port", port}).command->port->Name());
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

// The MSI's stored choice: given values win; a stored value is used only when
// it passes the checks, else the default, with a warning naming it.
TEST(CliArguments, StoredChoiceIsUsedOnlyWhenValid) {
    struct Case {
        std::vector<std::u16string> args;
        std::u16string port, settings, warning, misfit;
    };
    const Case cases[] = {
        {{u"--stored-port", u"com3", u"--stored-settings", u"19200,e,7,1,x"}, u"COM3", u"19200,e,7,1,x", u"", u""},
        {{u"--port", u"COM2", u"--stored-port", u"COM3", u"--stored-settings", u"19200,e,7,1,x"}, u"COM2",
         u"19200,e,7,1,x", u"", u""},
        {{u"--stored-port", u"", u"--stored-settings", u""}, u"COM1", u"", u"", u""},
        {{u"--stored-port", u"LPT1", u"--stored-settings", u"9600,n,8,1,p\" --log C:\\x.bat"}, u"COM1", u"",
         u"\"LPT1\" is not a COM port", u""},
        {{u"--stored-port", u"com12"}, u"COM12", u"", u"", u""},
        {{u"--stored-port", u"COM2", u"--stored-settings", u"9600,n,8,1,p\" --log C:\\x.bat"}, u"COM2", u"",
         u"they are not used; 9600,n,8,1,p are", u""},
        {{u"--stored-port", u"USB", u"--stored-settings", u"19200,e,7,1,x"}, u"USB", u"", u"", u""},
        {{u"--stored-port", u"USB", u"--settings", u"19200,e,7,1,x"}, u"USB", u"19200,e,7,1,x", u"", u"USB"},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> args{u"install"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Parsed parsed = Parse(args);
        ASSERT_TRUE(parsed.command) << Narrow(parsed.error);
        std::vector<std::u16string> warnings;
        const std::u16string misfit = SettleStoredChoice(*parsed.command, warnings);
        const std::string label = Narrow(args[2]) + " " + Narrow(args[args.size() - 1]);
        EXPECT_EQ(c.port, parsed.command->port->Name()) << label;
        EXPECT_EQ(c.settings, parsed.command->settings.value_or(u"")) << label;
        EXPECT_EQ(c.misfit.empty(), misfit.empty()) << label << ": " << Narrow(misfit);
        if (c.warning.empty()) EXPECT_TRUE(warnings.empty()) << label;
        else EXPECT_TRUE(!warnings.empty() && warnings[0].find(c.warning) != std::u16string::npos) << label;
    }
    ExpectRefused({u"install", u"--stored-settings", u"9600,n,8,1,p"}, {u"--port"});
}

}  // namespace
