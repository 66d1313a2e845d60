#include "cli/Verbs.h"

#include "setup/DefaultPrinter.h"
#include "setup/TestPrint.h"

#include <algorithm>
#include <array>

namespace cli {

namespace {

using setup::RunCommand;

constexpr unsigned kInstallOptions = kPortOption | kDeviceOption | kSettingsOption | kPackageOption | kTimeoutOption | kLogOption |
                                     kLogFormatOption | kStoredOptions | kRememberOption;

const std::array<Verb, 7> kVerbs = {{
    {Action::Install, u"install", kInstallOptions, true, true, RunCommand::Install, RunInstall},
    {Action::Repair, u"repair", kTimeoutOption | kLogOption | kLogFormatOption, true, true, RunCommand::Repair,
     RunRepair},
    {Action::Remove, u"remove", kPackageOption | kTimeoutOption | kLogOption | kLogFormatOption, true, true,
     RunCommand::Remove, RunRemove},
    {Action::Status, u"status",
     kPortOption | kDeviceOption | kSettingsOption | kPackageOption | kJsonOption | kDefaultOption |
         kMinVersionOption | kStoredChoiceOption,
     false, false,
     std::nullopt, RunStatus},
    {Action::SetDefault, u"set-default", kTimeoutOption | kQuietOption, false, false, RunCommand::SetDefault,
     RunSetDefault},
    {Action::Doctor, u"doctor", kPortOption | kDeviceOption | kSettingsOption | kPackageOption | kJsonOption, false,
     false,
     std::nullopt, RunDoctor},
    {Action::TestPrint, u"test-print", kTimeoutOption | kJsonOption, false, false, RunCommand::TestPrint, RunTestPrint},
}};

}  // namespace

std::span<const Verb> Verbs() { return kVerbs; }

std::optional<std::uint64_t> WholeRunLimitMilliseconds(const Command& command) {
    const auto given = [&](std::uint32_t byDefault) {
        return command.timeoutSeconds ? std::uint64_t{*command.timeoutSeconds} * 1000u : std::uint64_t{byDefault};
    };
    // A test page still queued at the limit is deleted first, which a print
    // system busy writing to a port that takes nothing may take its time over.
    if (command.action == Action::TestPrint) return given(setup::kDefaultTestPrintMilliseconds) + 30000;
    if (command.action == Action::SetDefault) return given(setup::kDefaultSetTimeoutMilliseconds) + 1000;
    return std::nullopt;
}

const Verb* VerbFor(Action action) {
    const auto found = std::find_if(kVerbs.begin(), kVerbs.end(), [&](const Verb& v) { return v.action == action; });
    return found == kVerbs.end() ? nullptr : &*found;
}

}  // namespace cli
