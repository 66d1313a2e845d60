// Windows side of the registry fixture: the real registry, in a scratch key
// named after the process and test, removed with everything below it.
#include "platform/Win32Handles.h"
#include "platform/Win32Registry.h"
#include "support/RegistryUnderTest.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace testing_support {

RegistryUnderTest::RegistryUnderTest() {
    registry_ = std::make_unique<platform::Win32Registry>();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "SOFTWARE\\PortSetupTests\\" + std::to_string(::GetCurrentProcessId()) + "-" +
                       (info ? info->name() : "test");
    scratch_.assign(name.begin(), name.end());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, platform::Wide(scratch_));
}

RegistryUnderTest::~RegistryUnderTest() {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, platform::Wide(scratch_));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PortSetupTests");  // only when empty
}

}  // namespace testing_support
