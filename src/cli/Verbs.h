// PortSetupCli's commands, one row each: the name, the options it takes,
// what every run of it needs (administrator rights; the machine run, that
// is the single-run lock, the log and the machine folder), and the event it
// writes. Each command's flow lives in a file of its own; a new command is
// that file, its row here, and its usage text.
#pragma once

#include "cli/Arguments.h"
#include "cli/Console.h"
#include "platform/Seams.h"
#include "setup/Product.h"
#include "setup/RunEvents.h"

#include <optional>
#include <span>

namespace cli {

class MachineRun;

// What a command's flow works with.
struct VerbRun {
    const CommandLine& line;
    const Command& command;
    const platform::Seams& seams;
    Console& console;
    const setup::Product& product;
    MachineRun* machine = nullptr;  // for the commands that take the machine run
};

struct Verb {
    Action action;
    std::u16string_view name;
    unsigned options;  // Option bits
    bool needsAdministrator;
    bool takesMachineRun;
    std::optional<setup::RunCommand> event;  // the event each run writes, if any
    int (*run)(VerbRun& run);
};

// set-default and test-print: how long the whole run may take, its lookups
// in the print system included, after which it ends with 1460 whatever the
// print system does: a little past the run's own limit, which ends a command
// or a print job that does not end with a message of its own. Nothing for
// the other commands.
std::optional<std::uint64_t> WholeRunLimitMilliseconds(const Command& command);

// The commands, in the order the usage names them.
std::span<const Verb> Verbs();
// The row of `action`; nothing for --help and --version.
const Verb* VerbFor(Action action);

// The flows, each in its own file.
int RunInstall(VerbRun& run);     // InstallCommand.cpp
int RunRepair(VerbRun& run);      // RepairCommand.cpp
int RunRemove(VerbRun& run);      // RemoveCommand.cpp
int RunStatus(VerbRun& run);      // StatusCommand.cpp
int RunDoctor(VerbRun& run);      // StatusCommand.cpp
int RunSetDefault(VerbRun& run);  // SetDefaultCommand.cpp
int RunTestPrint(VerbRun& run);   // TestPrintCommand.cpp

}  // namespace cli
