// PortSetupCli's arguments: every input either parses into a command that its
// own printer renders back to arguments that parse into the same command, or
// is refused with a message (exit 2) - never both, never neither.
#include "FuzzText.h"
#include "cli/Arguments.h"
#include "setup/SerialSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::u16string> arguments = fuzz::Split(fuzz::Utf16(data, size), u'\n');
    if (arguments.size() == 1 && arguments[0].empty()) arguments.clear();
    const cli::Parsed parsed = cli::ParseArguments(arguments);
    if (parsed.command.has_value() == !parsed.error.empty()) fuzz::Broken("a command or an error, exactly one");
    if (!parsed.command) return 0;
    if (parsed.command->action == cli::Action::Help) return 0;  // --help anywhere wins
    const std::vector<std::u16string> rendered = cli::ToArguments(*parsed.command);
    const cli::Parsed again = cli::ParseArguments(rendered);
    if (!again.command) fuzz::Broken("the rendered arguments parse");
    if (!(*again.command == *parsed.command)) fuzz::Broken("the rendered arguments give the same command");
    std::u16string error;
    if (again.command->settings && !setup::ValidPortSettings(*again.command->settings, error))
        fuzz::Broken("accepted settings are valid");
    return 0;
}
