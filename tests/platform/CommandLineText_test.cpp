// The argument text and the program folder, as the process sees them.
#include "platform/CommandLineText.h"

#include <gtest/gtest.h>

using platform::ArgumentsOf;
using platform::DirectoryOf;

TEST(CommandLineText, ArgumentsFollowTheProgramNameAndItsBlanks) {
    EXPECT_EQ(u"DEL", ArgumentsOf(u"\"C:\\Program Files\\Kaldo\\PortSetup.exe\" DEL"));
    EXPECT_EQ(u"DEL", ArgumentsOf(u"PortSetup.exe \t  DEL"));
    EXPECT_EQ(u"DEL ", ArgumentsOf(u"PortSetup.exe DEL "));           // nothing else trimmed
    EXPECT_EQ(u"\" DEL\"", ArgumentsOf(u"PortSetup.exe \" DEL\""));  // quotes kept
    EXPECT_EQ(u"del x", ArgumentsOf(u"C:\\Setup\\PortSetup.exe del x"));
    EXPECT_EQ(u"DEL", ArgumentsOf(u"\"C:\\a b\\PortSetup.exe\"DEL"));  // a quoted name ends at its quote
    EXPECT_EQ(u"", ArgumentsOf(u"PortSetup.exe"));
    EXPECT_EQ(u"", ArgumentsOf(u"\"C:\\a b\\PortSetup.exe\"   "));
    EXPECT_EQ(u"", ArgumentsOf(u""));
}

TEST(CommandLineText, ProgramFolderHasNoTrailingSeparator) {
    EXPECT_EQ(u"C:\\Setup", DirectoryOf(u"C:\\Setup\\PortSetup.exe"));
    EXPECT_EQ(u"C:", DirectoryOf(u"C:\\PortSetup.exe"));  // drive root: "C:" + "\PRT3Q42WD32.inf"
    EXPECT_EQ(u"\\\\server\\share", DirectoryOf(u"\\\\server\\share\\PortSetup.exe"));
    EXPECT_EQ(u"\\\\?\\C:\\Very Long", DirectoryOf(u"\\\\?\\C:\\Very Long\\PortSetup.exe"));
    EXPECT_EQ(u"C:\\\u0414\u0440\u0430\u0439\u0432\u0435\u0440", DirectoryOf(u"C:\\\u0414\u0440\u0430\u0439\u0432\u0435\u0440\\PortSetup.exe"));
}
