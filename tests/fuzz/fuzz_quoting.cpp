// Any printer name, quoted into the printer setup command lines, reads back
// through the command-line rules as exactly the same options with the name as
// one argument; so does any folder for the always-quoted INF path.
#include "FuzzText.h"
#include "setup/CommandLines.h"
#include "support/SplitCommandLine.h"

using testing_support::SplitCommandLine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string name = fuzz::Utf16(data, size);
    const std::u16string program = u"rundll32";
    const std::u16string entry = u"printui.dll,PrintUIEntry";

    const std::vector<std::u16string> remove = SplitCommandLine(setup::DeletePrinterCommandLine(name));
    if (remove != std::vector<std::u16string>{program, entry, u"/dl", u"/n", name}) fuzz::Broken("delete line");
    const std::vector<std::u16string> quiet = SplitCommandLine(setup::QuietCommandLine(setup::DeletePrinterCommandLine(name)));
    if (quiet != std::vector<std::u16string>{program, entry, u"/q", u"/dl", u"/n", name}) fuzz::Broken("quiet delete line");
    const std::vector<std::u16string> makeDefault = SplitCommandLine(setup::SetDefaultPrinterCommandLine(name));
    if (makeDefault != std::vector<std::u16string>{program, entry, u"/q", u"/y", u"/n", name})
        fuzz::Broken("set-default line");

    // A folder: the INF path after /f is one argument, whatever the folder holds.
    const std::vector<std::u16string> install =
        SplitCommandLine(setup::InstallDriverOnlyCommandLine(name, setup::InfQuoting::Always, setup::kVeltro));
    if (install != std::vector<std::u16string>{program, entry, u"/ia", u"/f", name + u"\\PRT3Q42WD32.inf", u"/m",
                                               u"KALDO QTX_VELTRO"})
        fuzz::Broken("INF path");
    return 0;
}
