// PortSetupCli's command line: the commands, their options, and the checks
// every value passes before anything is started.
#pragma once

#include "setup/Port.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class Action { Install, Repair, Remove, Status, SetDefault, Doctor, TestPrint, Help, Version };

// The options, as bits: what a command takes is in its row (Verbs.h).
enum Option : unsigned {
    kPortOption = 1u << 0,
    kSettingsOption = 1u << 1,
    kPackageOption = 1u << 2,
    kTimeoutOption = 1u << 3,
    kLogOption = 1u << 4,
    kStoredOptions = 1u << 5,  // --stored-port and --stored-settings
    kJsonOption = 1u << 6,
    kRememberOption = 1u << 7,
    kQuietOption = 1u << 8,
    kDefaultOption = 1u << 9,
    kMinVersionOption = 1u << 10,
    kStoredChoiceOption = 1u << 11,  // --stored: status asks about the stored choice
    kLogFormatOption = 1u << 12,
    kDeviceOption = 1u << 13,  // --device, with --port auto
};

// How --log's copy is written: as the machine log, or in CMTrace's format.
enum class LogFormat { Text, CmTrace };

struct Command {
    Action action = Action::Help;
    std::optional<setup::Port> port;         // COM1 to COM256, or USB
    // --port auto: the port is the COM port of the one present device that
    // `device` matches, found when the run starts.
    bool portAuto = false;
    std::optional<std::u16string> device;
    std::optional<std::u16string> settings;  // the Ports value text
    std::optional<std::u16string> package;   // the driver package folder
    std::optional<std::uint32_t> timeoutSeconds;
    std::optional<std::u16string> log;       // the log file
    std::optional<LogFormat> logFormat;      // --log's format
    // install: the choice an earlier installation stored, as the MSI read it;
    // used where --port or --settings is not given, and only when it passes
    // the same checks (empty: nothing stored).
    std::optional<std::u16string> storedPort;
    std::optional<std::u16string> storedSettings;
    std::optional<std::u16string> storedDevice;
    bool json = false;
    bool remember = false;  // install: store the port and settings as the package's choice
    bool quiet = false;     // set-default: nothing on stdout
    bool countDefault = false;  // status: the running account's default printer counts too
    bool asStored = false;      // status: the port and settings are the stored choice's
    std::optional<std::u16string> minDriverVersion;  // status: the oldest driver version that counts

    bool operator==(const Command&) const = default;
};

// A command, or what is wrong with the arguments. Everything after the
// parse works on this, never on the raw arguments again.
struct Parsed {
    std::optional<Command> command;
    std::u16string error;
    // The command the first argument names, also when the rest is refused
    // (a refused install is still an install run, with its event).
    std::optional<Action> verb;
};

// Parses the arguments after the program name.
Parsed ParseArguments(const std::vector<std::u16string>& arguments);

// A command line as given and as parsed, once: the arguments are kept only
// to be shown (the log's run line, the event).
struct CommandLine {
    std::vector<std::u16string> arguments;
    Parsed parsed;
};
CommandLine ReadCommandLine(std::vector<std::u16string> arguments);
// Settles an install's port and settings where --stored-device,
// --stored-port or --stored-settings stand in for them: a stored value that
// fails the checks is not used (a warning says so) and the default takes its
// place. Returns the bad-usage message when the result does not fit
// together, else empty.
std::u16string SettleStoredChoice(Command& command, std::vector<std::u16string>& warnings);

// The command line as it ran, for the log and the event: "PortSetupCli
// install --port COM3", each argument quoted where it holds blanks or quotes.
std::u16string ShownCommandLine(const CommandLine& line);
// The arguments that give `command` again: every option it holds, in the
// options' order.
std::vector<std::u16string> ToArguments(const Command& command);
std::u16string UsageText();

}  // namespace cli
