// Parts of the registry fixture shared by the host and Windows builds.
#include "support/RegistryUnderTest.h"

namespace testing_support {

using namespace platform;

void RegistryUnderTest::PutRaw(const std::u16string& subKey, const std::string& name, std::uint32_t type,
                               const std::vector<std::uint8_t>& data) {
    RegHandle key = 0;
    if (registry_->RegCreateKeyA(kHkeyLocalMachine, registry_->ToAnsi(subKey).value(), key) != kErrorSuccess) return;
    registry_->RegSetValueExA(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    registry_->RegCloseKey(key);
}

long RegistryUnderTest::GetRaw(const std::u16string& subKey, const std::string& name, std::uint32_t& type,
                               std::vector<std::uint8_t>& data) {
    RegHandle key = 0;
    long status = registry_->RegOpenKeyExA(kHkeyLocalMachine, registry_->ToAnsi(subKey).value(), 0, kKeyAllAccess, key);
    if (status != kErrorSuccess) return status;
    data.assign(4096, 0);
    std::uint32_t size = static_cast<std::uint32_t>(data.size());
    status = registry_->RegQueryValueExA(key, name, type, data.data(), size);
    data.resize(status == kErrorSuccess ? size : 0);
    registry_->RegCloseKey(key);
    return status;
}

bool RegistryUnderTest::DoubleByteCodePage() {
    const auto ansi = registry_->ToAnsi(u"\u65E5");
    return ansi && ansi->size() == 2;
}

}  // namespace testing_support
