// The registry the shared registry suite runs against: the in-memory one on
// the host (ANSI code page from PORTSETUP_TEST_CODEPAGE, default CP1252), the
// real one under Wine, inside a scratch key that is removed afterwards.
#pragma once

#include "platform/AnsiRegistry.h"

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class RegistryUnderTest {
public:
    RegistryUnderTest();
    ~RegistryUnderTest();
    RegistryUnderTest(const RegistryUnderTest&) = delete;
    RegistryUnderTest& operator=(const RegistryUnderTest&) = delete;

    platform::AnsiRegistry& registry() { return *registry_; }
    // A key path below HKLM that belongs to this test alone.
    const std::u16string& scratch() const { return scratch_; }
    // Writes raw value data, bypassing the helpers under test.
    void PutRaw(const std::u16string& subKey, const std::string& name, std::uint32_t type,
                const std::vector<std::uint8_t>& data);
    // Reads raw value data; returns the status.
    long GetRaw(const std::u16string& subKey, const std::string& name, std::uint32_t& type,
                std::vector<std::uint8_t>& data);
    // Whether the system's ANSI code page has double-byte characters.
    bool DoubleByteCodePage();

private:
    std::unique_ptr<platform::AnsiRegistry> registry_;
    std::u16string scratch_;
};

}  // namespace testing_support
