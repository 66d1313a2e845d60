// An in-memory registry for host tests that keeps Windows' contract for the
// five ANSI registry functions: status codes, value types, reported sizes,
// keys created with their parents, case-insensitive names, handles that must
// be closed, and failures a test can inject. Texts cross in a selectable ANSI
// code page (iconv names such as "CP1252", "CP932", "CP936").
#pragma once

#include "platform/AnsiRegistry.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

class MemoryRegistry : public platform::AnsiRegistry {
public:
    enum class Op { OpenKeyEx, CreateKey, QueryValueEx, SetValueEx, CloseKey };

    struct Value {
        std::uint32_t type = platform::kRegNone;
        std::vector<std::uint8_t> data;
    };

    explicit MemoryRegistry(std::string codePage = "CP1252");
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    long RegOpenKeyExA(platform::RegHandle root, const std::string& subKey, std::uint32_t options,
                       std::uint32_t access, platform::RegHandle& key) override;
    long RegCreateKeyA(platform::RegHandle root, const std::string& subKey,
                       platform::RegHandle& key) override;
    long RegQueryValueExA(platform::RegHandle key, const std::string& valueName,
                          std::uint32_t& type, std::uint8_t* data, std::uint32_t& size) override;
    long RegDeleteValueA(platform::RegHandle key, const std::string& valueName) override;
    long RegSetValueExA(platform::RegHandle key, const std::string& valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
    long RegCloseKey(platform::RegHandle key) override;
    std::optional<std::string> ToAnsi(std::u16string_view text) override;
    std::optional<std::u16string> FromAnsi(std::string_view bytes) override;

    // The next call of `op` fails with `status` (queued in order).
    void FailNext(Op op, long status) { failures_[op].push_back(status); }
    // Opening this key (path below HKLM) is refused with ERROR_ACCESS_DENIED.
    void DenyAccess(const std::string& path) { denied_.insert(Fold(path)); }

    // Direct access for arranging and checking, with paths below HKLM in ANSI.
    void Put(const std::string& path, const std::string& name, std::uint32_t type,
             std::vector<std::uint8_t> data);
    void PutString(const std::string& path, const std::string& name, const std::string& text);
    std::optional<Value> Get(const std::string& path, const std::string& name) const;
    bool KeyExists(const std::string& path) const { return keys_.count(Fold(path)) != 0; }
    std::size_t OpenHandleCount() const { return handles_.size(); }

private:
    static std::string Fold(const std::string& path);
    std::optional<long> TakeFailure(Op op);
    // The folded full path for `subKey` under an open handle or HKLM, if valid.
    std::optional<std::string> Resolve(platform::RegHandle root, const std::string& subKey) const;
    platform::RegHandle NewHandle(const std::string& path);

    struct CodePage;
    std::string codePage_;
    std::unique_ptr<CodePage> conversions_;
    std::map<std::string, std::map<std::string, Value>> keys_;  // folded path -> folded name -> value
    std::map<platform::RegHandle, std::string> handles_;
    platform::RegHandle nextHandle_ = 0x1000;
    std::map<Op, std::deque<long>> failures_;
    std::set<std::string> denied_;
};

}  // namespace testing_support
