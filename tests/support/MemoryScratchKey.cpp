// Host side of the registry fixture: a fresh in-memory registry per test.
#include "support/MemoryRegistry.h"
#include "support/RegistryUnderTest.h"

#include <cstdlib>

namespace testing_support {

RegistryUnderTest::RegistryUnderTest() : scratch_(u"SOFTWARE\\PortSetupTests") {
    const char* codePage = std::getenv("PORTSETUP_TEST_CODEPAGE");
    registry_ = std::make_unique<MemoryRegistry>(codePage && *codePage ? codePage : "CP1252");
}

RegistryUnderTest::~RegistryUnderTest() = default;

}  // namespace testing_support
