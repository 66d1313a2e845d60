// The printer setup command lines, and that the quoting of names survives the
// Windows command-line parser.
#include "setup/CommandLines.h"
#include "support/SplitCommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace setup;

namespace {

// Splits a command line as CommandLineToArgvW does (the rules printui uses).
std::vector<std::u16string> ParseArguments(std::u16string_view line) { return testing_support::SplitCommandLine(line); }

TEST(CommandLines, ExactTextsForAPlainFolder) {
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /if /b \"KALDO Veltro MiniPrinter\" /f "
              u"C:\\Setup\\PRT3Q42WD32.inf /r \"COM2:\" /m \"KALDO QTX_VELTRO\"",
              InstallOnComPortCommandLine(u"C:\\Setup", u"COM2:", setup::InfQuoting::AsNeeded, setup::kVeltro));
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /ia /f C:\\Setup\\PRT3Q42WD32.inf /m \"KALDO QTX_VELTRO\"",
              InstallDriverOnlyCommandLine(u"C:\\Setup", setup::InfQuoting::AsNeeded, setup::kVeltro));
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /q /y /n \"KALDO Veltro MiniPrinter\"",
              SetDefaultPrinterCommandLine(PrinterName));
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /dl /n \"Shop Printer 2\"", DeletePrinterCommandLine(u"Shop Printer 2"));
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /q /dd /m \"KALDO QTX_VELTRO\"", DeleteDriverCommandLine(setup::kVeltro));
    // A drive root gives exactly one backslash.
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /ia /f D:\\PRT3Q42WD32.inf /m \"KALDO QTX_VELTRO\"",
              InstallDriverOnlyCommandLine(u"D:", setup::InfQuoting::AsNeeded, setup::kVeltro));
}

TEST(CommandLines, InfPathWithBlanksIsQuoted) {
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /if /b \"KALDO Veltro MiniPrinter\" /f "
              u"\"C:\\Program Files\\Kaldo\\PRT3Q42WD32.inf\" /r \"COM1:\" /m \"KALDO QTX_VELTRO\"",
              InstallOnComPortCommandLine(u"C:\\Program Files\\Kaldo", u"COM1:", setup::InfQuoting::AsNeeded, setup::kVeltro));
    const auto args = ParseArguments(InstallDriverOnlyCommandLine(u"C:\\Users\\a\\My\tDriver", setup::InfQuoting::AsNeeded, setup::kVeltro));
    ASSERT_EQ(7u, args.size());
    EXPECT_EQ(u"C:\\Users\\a\\My\tDriver\\PRT3Q42WD32.inf", args[4]);
    // Letters beyond ASCII need no quoting.
    EXPECT_EQ(u"rundll32 printui.dll,PrintUIEntry /ia /f C:\\\u0414\u0440\u0430\u0439\u0432\u0435\u0440\\PRT3Q42WD32.inf "
              u"/m \"KALDO QTX_VELTRO\"",
              InstallDriverOnlyCommandLine(u"C:\\\u0414\u0440\u0430\u0439\u0432\u0435\u0440", setup::InfQuoting::AsNeeded, setup::kVeltro));
}

TEST(CommandLines, PrinterNamesCannotAddOptions) {
    const std::u16string hostile = u"X\" /ia /f \\\\evil\\share\\a.inf /m \"Y";
    for (const auto& line : {DeletePrinterCommandLine(hostile), SetDefaultPrinterCommandLine(hostile)}) {
        const auto args = ParseArguments(line);
        ASSERT_FALSE(args.empty());
        EXPECT_EQ(hostile, args.back()) << std::string(line.begin(), line.end());
    }
    EXPECT_EQ(5u, ParseArguments(DeletePrinterCommandLine(hostile)).size());

    // Backslashes before a quote or at the end are doubled, others kept.
    for (std::u16string name : {u"\\\\server\\Queue", u"Trailing\\", u"Odd\\\"quote", u"Plain name"}) {
        EXPECT_EQ(name, ParseArguments(DeletePrinterCommandLine(name)).back());
    }
    EXPECT_EQ(u"\"\\\\server\\Queue\"", QuotedArgument(u"\\\\server\\Queue"));  // unchanged inside
    EXPECT_EQ(u"\"Trailing\\\\\"", QuotedArgument(u"Trailing\\"));
    EXPECT_EQ(u"\"a\\\"b\"", QuotedArgument(u"a\"b"));
}

}  // namespace
