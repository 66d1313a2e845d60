// Registry helpers against injected failures: statuses, empty reads, and every
// opened key closed on every path.
#include "modules/modRegedit.h"
#include "support/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace modRegedit;
using namespace platform;
using testing_support::MemoryRegistry;
using Op = MemoryRegistry::Op;

namespace {

const char* CodePage() {
    const char* cp = std::getenv("PORTSETUP_TEST_CODEPAGE");
    return cp && *cp ? cp : "CP1252";
}

constexpr const char16_t* kPorts = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

TEST(RegistryHost, OpenOrCreateReportsEachOutcome) {
    MemoryRegistry reg(CodePage());
    RegHandle key = 99;
    EXPECT_EQ(kErrorSuccess, RegOpenOrCreateKey(reg, kHkeyLocalMachine, kPorts, key));
    EXPECT_NE(0u, key);
    EXPECT_TRUE(reg.KeyExists("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"));  // parents too
    reg.RegCloseKey(key);

    reg.FailNext(Op::OpenKeyEx, kErrorFileNotFound);
    reg.FailNext(Op::CreateKey, kErrorAccessDenied);
    key = 99;
    EXPECT_EQ(kErrorAccessDenied, RegOpenOrCreateKey(reg, kHkeyLocalMachine, u"SOFTWARE\\New", key));
    EXPECT_EQ(0u, key);

    reg.DenyAccess("SOFTWARE\\Locked");
    key = 99;
    EXPECT_EQ(kErrorAccessDenied, RegOpenOrCreateKey(reg, kHkeyLocalMachine, u"SOFTWARE\\Locked", key));
    EXPECT_EQ(0u, key);
    EXPECT_FALSE(reg.KeyExists("SOFTWARE\\New"));
    EXPECT_EQ(0u, reg.OpenHandleCount());
}

TEST(RegistryHost, FailedWritesReportTheirStatusAndCloseTheKey) {
    MemoryRegistry reg(CodePage());
    reg.DenyAccess("SOFTWARE\\Locked");
    EXPECT_EQ(kErrorAccessDenied, RegSetString(reg, kHkeyLocalMachine, u"SOFTWARE\\Locked", u"COM1:", u"x"));

    reg.FailNext(Op::SetValueEx, kErrorAccessDenied);
    EXPECT_EQ(kErrorAccessDenied, RegSetString(reg, kHkeyLocalMachine, kPorts, u"COM1:", u"9600,n,8,1,p"));
    EXPECT_FALSE(reg.Get("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM1:"));
    EXPECT_EQ(0u, reg.OpenHandleCount());

    // A close that fails does not turn a good write into a failure.
    reg.FailNext(Op::CloseKey, kErrorInvalidHandle);
    EXPECT_EQ(kErrorSuccess, RegSetString(reg, kHkeyLocalMachine, kPorts, u"COM1:", u"9600,n,8,1,p"));
}

TEST(RegistryHost, FailedReadsHandBackTheEmptyString) {
    MemoryRegistry reg(CodePage());
    reg.PutString("SOFTWARE\\K", "V", "text");
    std::u16string value = u"stale";

    reg.FailNext(Op::OpenKeyEx, kErrorAccessDenied);
    EXPECT_EQ(kErrorAccessDenied, RegGetString(reg, kHkeyLocalMachine, u"SOFTWARE\\K", u"V", value));
    EXPECT_EQ(u"", value);

    value = u"stale";
    reg.FailNext(Op::QueryValueEx, kErrorInvalidHandle);
    EXPECT_EQ(kErrorInvalidHandle, RegGetString(reg, kHkeyLocalMachine, u"SOFTWARE\\K", u"V", value));
    EXPECT_EQ(u"", value);
    EXPECT_EQ(0u, reg.OpenHandleCount());

    EXPECT_EQ(kErrorSuccess, RegGetString(reg, kHkeyLocalMachine, u"SOFTWARE\\K", u"V", value));
    EXPECT_EQ(u"text", value);
    EXPECT_EQ(0u, reg.OpenHandleCount());
}

TEST(RegistryHost, ValuesWrittenWithoutTerminatorReadOneShort) {
    // What other programs may have written: the size counts no NUL, and the
    // read takes size - 1 bytes, as the registry's own readers of this tool do.
    MemoryRegistry reg(CodePage());
    reg.Put("SOFTWARE\\K", "V", kRegSz, {'A', 'B', 'C'});
    std::u16string value;
    EXPECT_EQ(kErrorSuccess, RegGetString(reg, kHkeyLocalMachine, u"SOFTWARE\\K", u"V", value));
    EXPECT_EQ(u"AB", value);
}

}  // namespace
