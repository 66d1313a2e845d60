#include "cli/Arguments.h"

#include "cli/Verbs.h"
#include "setup/ExitCodeTable.h"
#include "setup/PortDevices.h"
#include "setup/SerialSettings.h"
#include "setup/Status.h"
#include "setup/Text.h"

#include <algorithm>
#include <array>

namespace cli {

namespace {

constexpr std::uint32_t kMaxTimeoutSeconds = 86400;

// What an option with a value does with it: checks it and keeps it in the
// command, or says what is wrong; and gives it back as an argument.
using Take = std::optional<std::u16string> (*)(const std::u16string& value, Command& command);
using Give = std::optional<std::u16string> (*)(const Command& command);

std::optional<std::u16string> TakePort(const std::u16string& value, Command& command) {
    if (setup::SameIgnoringCase(value, u"auto")) {
        command.portAuto = true;
        return std::nullopt;
    }
    command.port = setup::Port::Parse(value);
    if (!command.port)
        return u"--port \"" + value + u"\" is not a COM port from COM1 to COM256, nor USB, nor auto (with --device).";
    return std::nullopt;
}
std::optional<std::u16string> GivePort(const Command& command) {
    if (command.portAuto) return u"auto";
    if (!command.port) return std::nullopt;
    return command.port->Name();
}
std::optional<std::u16string> TakeDevice(const std::u16string& value, Command& command) {
    if (!setup::IsDevicePattern(value))
        return u"--device \"" + value + u"\" is not a part of a device ID: 1 to 200 letters, digits and & _ \\ # . + - { }.";
    command.device = value;
    return std::nullopt;
}
std::optional<std::u16string> TakeSettings(const std::u16string& value, Command& command) {
    std::u16string error;
    if (!setup::ValidPortSettings(value, error)) return u"--settings " + error + u".";
    command.settings = value;
    return std::nullopt;
}
std::optional<std::u16string> TakeMinVersion(const std::u16string& value, Command& command) {
    if (!setup::IsDriverVersion(value))
        return u"--min-driver-version \"" + value + u"\" is not a driver version: W.X.Y.Z, each from 0 to 65535.";
    command.minDriverVersion = value;
    return std::nullopt;
}
std::optional<std::u16string> TakeTimeout(const std::u16string& value, Command& command) {
    std::uint64_t seconds = 0;
    bool digits = value.size() <= 6;
    for (char16_t c : value) {
        if (c < u'0' || c > u'9') digits = false;
        else seconds = seconds * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (!digits || seconds < 1 || seconds > kMaxTimeoutSeconds)
        return u"--timeout \"" + value + u"\" is not a number of seconds from 1 to 86400.";
    command.timeoutSeconds = static_cast<std::uint32_t>(seconds);
    return std::nullopt;
}
std::optional<std::u16string> GiveTimeout(const Command& command) {
    if (!command.timeoutSeconds) return std::nullopt;
    return setup::Number(*command.timeoutSeconds);
}
std::optional<std::u16string> TakeLogFormat(const std::u16string& value, Command& command) {
    if (value == u"text") command.logFormat = LogFormat::Text;
    else if (value == u"cmtrace") command.logFormat = LogFormat::CmTrace;
    else return u"--log-format \"" + value + u"\" is not text or cmtrace.";
    return std::nullopt;
}
std::optional<std::u16string> GiveLogFormat(const Command& command) {
    if (!command.logFormat) return std::nullopt;
    return *command.logFormat == LogFormat::CmTrace ? u"cmtrace" : u"text";
}
// A text kept as it is (its checks come where it is used).
template <std::optional<std::u16string> Command::*field>
std::optional<std::u16string> TakeText(const std::u16string& value, Command& command) {
    command.*field = value;
    return std::nullopt;
}
template <std::optional<std::u16string> Command::*field>
std::optional<std::u16string> GiveText(const Command& command) {
    return command.*field;
}

// An option: its name, its bit, and what it does: a flag sets its field; an
// option with a value takes it (never empty, unless it may be) and gives it back.
struct OptionRule {
    std::u16string_view name;
    Option bit;
    bool Command::*flag = nullptr;
    Take take = nullptr;
    Give give = nullptr;
    bool mayBeEmpty = false;  // a stored value may be empty: nothing was stored
};

constexpr OptionRule kOptions[] = {
    {u"--port", kPortOption, nullptr, TakePort, GivePort},
    {u"--settings", kSettingsOption, nullptr, TakeSettings, GiveText<&Command::settings>},
    {u"--device", kDeviceOption, nullptr, TakeDevice, GiveText<&Command::device>},
    {u"--package", kPackageOption, nullptr, TakeText<&Command::package>, GiveText<&Command::package>},
    {u"--timeout", kTimeoutOption, nullptr, TakeTimeout, GiveTimeout},
    {u"--log", kLogOption, nullptr, TakeText<&Command::log>, GiveText<&Command::log>},
    {u"--log-format", kLogFormatOption, nullptr, TakeLogFormat, GiveLogFormat},
    {u"--stored-port", kStoredOptions, nullptr, TakeText<&Command::storedPort>, GiveText<&Command::storedPort>, true},
    {u"--stored-settings", kStoredOptions, nullptr, TakeText<&Command::storedSettings>,
     GiveText<&Command::storedSettings>, true},
    {u"--stored-device", kStoredOptions, nullptr, TakeText<&Command::storedDevice>, GiveText<&Command::storedDevice>,
     true},
    {u"--json", kJsonOption, &Command::json},
    {u"--remember", kRememberOption, &Command::remember},
    {u"--quiet", kQuietOption, &Command::quiet},
    {u"--default", kDefaultOption, &Command::countDefault},
    {u"--min-driver-version", kMinVersionOption, nullptr, TakeMinVersion, GiveText<&Command::minDriverVersion>},
    {u"--stored", kStoredChoiceOption, &Command::asStored},
};

// The options `action` takes, from its row; --help and --version take none.
unsigned OptionsOf(Action action) {
    const Verb* verb = VerbFor(action);
    return verb ? verb->options : 0u;
}

std::u16string_view NameOf(Action action) {
    if (const Verb* verb = VerbFor(action)) return verb->name;
    return action == Action::Version ? u"--version" : u"--help";
}

std::u16string AllowedFor(Action action) {
    std::u16string names;
    for (const OptionRule& rule : kOptions) {
        if (!(OptionsOf(action) & rule.bit)) continue;
        names += (names.empty() ? u"" : u", ") + std::u16string(rule.name);
    }
    return names.empty() ? u"none" : names;
}

Parsed Error(std::u16string message) { return {std::nullopt, std::move(message), {}}; }

Parsed Options(const std::vector<std::u16string>& arguments, Command command);
Parsed Combined(Command command);

}  // namespace

Parsed ParseArguments(const std::vector<std::u16string>& arguments) {
    for (const auto& argument : arguments)
        if (argument == u"--help" || argument == u"-h" || argument == u"/?" || argument == u"-?")
            return {Command{}, {}, {}};  // a command's default action is Help
    if (arguments.empty()) return Error(u"No command given.");

    Command command;
    const std::u16string& verb = arguments[0];
    if (verb == u"--version") {
        command.action = Action::Version;
    } else {
        const auto verbs = Verbs();
        const auto named = std::find_if(verbs.begin(), verbs.end(), [&](const Verb& v) { return v.name == verb; });
        if (named == verbs.end()) {
            std::vector<std::u16string> names;
            for (const Verb& v : verbs) names.emplace_back(v.name);
            const std::u16string last = names.back();
            names.pop_back();
            return Error(u"Unknown command \"" + verb + u"\"; the commands are " + setup::CommaList(names) + u" and " + last +
                         u".");
        }
        command.action = named->action;
    }
    Parsed parsed = Options(arguments, command);
    parsed.verb = command.action;
    return parsed;
}

namespace {

// The options after the command, checked; `command` holds the command.
Parsed Options(const std::vector<std::u16string>& arguments, Command command) {
    if (command.action == Action::Version && arguments.size() > 1)
        return Error(u"--version takes nothing else; \"" + arguments[1] + u"\" is too much.");

    std::vector<std::u16string_view> seen;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (argument.rfind(u"--", 0) != 0)
            return Error(u"Unexpected argument \"" + argument + u"\"; options begin with --.");
        const std::size_t equals = argument.find(u'=');
        const std::u16string name = argument.substr(0, equals);
        const OptionRule* rule = nullptr;
        for (const OptionRule& r : kOptions)
            if (r.name == name) rule = &r;
        const std::u16string verbName(NameOf(command.action));
        if (!rule || !(OptionsOf(command.action) & rule->bit)) {
            std::u16string message = u"Unknown option \"" + name + u"\" for ";
            message += verbName;
            message += u"; it takes ";
            message += AllowedFor(command.action);
            message += u".";
            return Error(message);
        }
        if (std::find(seen.begin(), seen.end(), rule->name) != seen.end())
            return Error(u"The option " + name + u" is given more than once.");
        seen.push_back(rule->name);

        if (rule->flag) {
            if (equals != std::u16string::npos) return Error(u"The option " + name + u" takes no value.");
            command.*(rule->flag) = true;
            continue;
        }
        std::u16string value;
        if (equals != std::u16string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return Error(u"The option " + name + u" needs a value.");
        }
        if (value.empty() && !rule->mayBeEmpty) return Error(u"The option " + name + u" needs a value.");
        if (auto error = rule->take(value, command)) return Error(std::move(*error));
    }
    return Combined(std::move(command));
}

// What the options say together.
Parsed Combined(Command command) {
    if (command.portAuto && !command.device)
        return Error(u"--port auto needs --device PATTERN: a part of the hardware ID or instance ID of the device "
                     u"behind the COM port.");
    if (command.device && !command.portAuto)
        return Error(u"--device needs --port auto: the port is the device's.");
    const bool port = command.port || command.portAuto;
    if (command.action == Action::Install && !port && !command.storedPort && !command.storedDevice)
        return Error(u"install needs --port: COM1 to COM256, USB, or auto with --device.");
    if (command.settings && !port && !command.storedPort && !command.storedDevice)
        return Error(u"--settings needs --port: a COM port from COM1 to COM256.");
    if (command.logFormat && !command.log)
        return Error(u"--log-format needs --log FILE: the machine log keeps its own format.");
    if (command.asStored && (port || command.settings))
        return Error(u"--stored asks about the stored port and settings: give it without --port and --settings.");
    if (command.settings && command.port && command.port->IsUsb())
        return Error(u"--settings does not apply to USB: a USB printer has no serial line settings.");
    return {command, {}, {}};
}

}  // namespace

std::u16string SettleStoredChoice(Command& command, std::vector<std::u16string>& warnings) {
    if (!command.port && !command.portAuto && command.storedDevice && !command.storedDevice->empty()) {
        if (setup::IsDevicePattern(*command.storedDevice)) {
            command.portAuto = true;
            command.device = command.storedDevice;
        } else {
            warnings.push_back(u"the stored device \"" + *command.storedDevice +
                               u"\" is not a part of a device ID: it is not used");
        }
    }
    if (!command.port && !command.portAuto) {
        const std::u16string stored = command.storedPort.value_or(u"");
        command.port = setup::Port::Parse(stored);
        if (!command.port) {
            command.port = setup::Port::Com(1);
            if (!stored.empty())
                warnings.push_back(u"the stored port \"" + stored +
                                   u"\" is not a COM port from COM1 to COM256, nor USB: it is not used; COM1 is");
        }
    }
    if (command.port && command.port->IsUsb()) {
        if (command.settings)
            return u"--settings does not apply to USB, the stored port: a USB printer has no serial line settings.";
        return {};
    }
    if (!command.settings && command.storedSettings && !command.storedSettings->empty()) {
        std::u16string error;
        if (setup::ValidPortSettings(*command.storedSettings, error))
            command.settings = command.storedSettings;
        else
            warnings.push_back(u"the stored settings " + error + u": they are not used; " +
                               setup::DefaultPortSettings() + u" are");
    }
    return {};
}

CommandLine ReadCommandLine(std::vector<std::u16string> arguments) {
    Parsed parsed = ParseArguments(arguments);
    return {std::move(arguments), std::move(parsed)};
}

std::u16string ShownCommandLine(const CommandLine& line) {
    std::u16string shown = u"PortSetupCli";
    for (const auto& argument : line.arguments)
        shown += u" " + (argument.find_first_of(u" \t\"") == std::u16string::npos && !argument.empty()
                             ? argument
                             : u"\"" + argument + u"\"");
    return shown;
}

std::vector<std::u16string> ToArguments(const Command& command) {
    std::vector<std::u16string> arguments{std::u16string(NameOf(command.action))};
    for (const OptionRule& rule : kOptions) {
        if (rule.flag) {
            if (command.*(rule.flag)) arguments.emplace_back(rule.name);
        } else if (const auto value = rule.give(command)) {
            arguments.emplace_back(rule.name);
            arguments.push_back(*value);
        }
    }
    return arguments;
}

namespace {

// The exit codes, a line each, as the usage lists them.
std::u16string ExitCodesText() {
    std::u16string text = u"Exit codes, each a Windows error code whose text reads right (net helpmsg N):\n";
    for (const setup::ExitCodeRow& row : setup::ExitCodeTable()) {
        std::u16string code = setup::Number(static_cast<std::uint64_t>(row.code));
        code.resize(std::max<std::size_t>(code.size() + 1, 6), u' ');
        text += u"  " + code + std::u16string(row.usage) + u"\n";
    }
    return text;
}

}  // namespace

std::u16string UsageText() {
    return u"PortSetupCli: installs and removes the KALDO Veltro MiniPrinter's driver without a window.\n"
           u"\n"
           u"  PortSetupCli install --port COMn|USB|auto [--device PATTERN] [--settings 9600,n,8,1,p]\n"
           u"                       [--package DIR] [--timeout SECONDS] [--log FILE [--log-format cmtrace]]\n"
           u"                       [--remember] [--stored-port PORT] [--stored-settings SETTINGS]\n"
           u"                       [--stored-device PATTERN]\n"
           u"  PortSetupCli repair [--timeout SECONDS] [--log FILE [--log-format cmtrace]]\n"
           u"  PortSetupCli remove [--package DIR] [--timeout SECONDS] [--log FILE [--log-format cmtrace]]\n"
           u"  PortSetupCli status [--port COMn|USB|auto [--device PATTERN] [--settings 9600,n,8,1,p] | --stored]\n"
           u"                      [--default] [--min-driver-version W.X.Y.Z] [--package DIR] [--json]\n"
           u"  PortSetupCli set-default [--quiet] [--timeout SECONDS]\n"
           u"  PortSetupCli doctor [--port PORT [--device PATTERN] [--settings S]] [--package DIR] [--json]\n"
           u"  PortSetupCli test-print [--timeout SECONDS] [--json]\n"
           u"  PortSetupCli --help | --version\n"
           u"\n"
           u"--port      COM1 to COM256, as Windows numbers them (COM7, not COM07), or USB; or auto with\n"
           u"            --device: the COM port of the one present device that PATTERN matches.\n"
           u"--device    a part of the device's hardware ID or instance ID (VID_0403&PID_6001, or an\n"
           u"            adapter's serial number), letters in either case; status lists the devices.\n"
           u"--settings  the COM port's line settings: speed (2400 to 115200), parity (e, o, n, m, s),\n"
           u"            data bits (4 to 8), stop bits (1, 1.5, 2), then x (Xon/Xoff) or p (hardware)\n"
           u"            flow control, or nothing for none. Default 9600,n,8,1,p. Not for USB.\n"
           u"--package   the driver package folder with PRT3Q42WD32.inf (default: this program's folder).\n"
           u"--timeout   how long each printer setup command may take, in seconds (default 300;\n"
           u"            for set-default the whole run, default 30).\n"
           u"--quiet     set-default: nothing on stdout; errors still on stderr.\n"
           u"--log       a copy of the log in FILE; the machine log is written too\n"
           u"            (%ProgramData%\\PortSetup\\Logs\\PortSetupCli.log).\n"
           u"--log-format  text (the machine log's) or cmtrace: the copy in CMTrace's columns.\n"
           u"--remember  after a successful install, store the port (or with --device the device, whose\n"
           u"            port follows it) and settings under HKLM\\SOFTWARE\\PortSetup (Port or Device, Settings):\n"
           u"            the MSI reads them back on upgrade and repair.\n"
           u"--stored-port, --stored-settings, --stored-device  the choice stored earlier, for the MSI: used\n"
           u"            where --port or --settings is not given, and only when valid (else COM1 and\n"
           u"            9600,n,8,1,p, with a warning).\n"
           u"--stored    status: whether the till is as the stored choice says (its port and settings).\n"
           u"repair installs again with the stored port (or the stored device's port now) and settings and\n"
           u"the package beside the program.\n"
           u"\n"
           + ExitCodesText() +
           u"install and remove keep their last verdict under HKLM\\SOFTWARE\\PortSetup (LastExitCode,\n"
           u"LastResult, LastRunTime, LastCommand); --log FILE adds a copy of the machine log.\n"
           u"status exits 0 when the driver is installed and, with --port COMn, the printer is on COMn with it\n"
           u"and COMn: has settings stored (those of --settings, when given); the running account's default\n"
           u"printer is reported, and counts only with --default (a detection run as the user); with\n"
           u"--min-driver-version W.X.Y.Z, an installed driver older than that, or whose version is unknown,\n"
           u"is not as asked (a detection for a new package: raise it with each package); with --package DIR,\n"
           u"an installed driver older than DIR's (its INF's DriverVer) is not as asked.\n"
           u"The default printer is set for the user the program runs as (SYSTEM's own under a deployment\n"
           u"system that runs as SYSTEM). set-default makes the printer the default printer of the user who\n"
           u"runs it and keeps Windows from managing it (LegacyDefaultPrinterMode = 1); it needs no\n"
           u"administrator rights.\n"
           u"doctor checks whether an install can succeed here, changing nothing: install's checks and the\n"
           u"status, one finding a line with its fix; it exits 0 when nothing would stop an installation\n"
           u"(also where nothing is installed yet), else with install's exit code. status says whether an\n"
           u"install did succeed.\n"
           u"test-print prints a short page and waits (default 60 s) until it has left the queue; a page\n"
           u"still queued then is deleted, and the job's status and the port's settings say why.\n";
}

}  // namespace cli
