#include "support/MemoryRegistry.h"

#include <iconv.h>

#include <memory>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace testing_support {

using namespace platform;

namespace {

// Converts with iconv, one unit at a time, so that a unit the target cannot
// hold is told apart from the rest.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {
        // iconv_open's documented failure value is (iconv_t)-1.
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: " + from + " -> " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; returns false (and nothing) when it is not convertible.
    bool Convert(const char* in, std::size_t inSize, std::string& out) {
        char buffer[16];
        char* inPtr = const_cast<char*>(in);
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inPtr, &inSize, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return false;
        if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return false;
        out.append(buffer, outPtr);
        return true;
    }

private:
    iconv_t cd_;
};

bool IsLeadByte(Converter& toUtf16, unsigned char lead) {
    // A byte is a lead byte when it is not a character alone but starts one with a trail.
    std::string ignored;
    const char single = static_cast<char>(lead);
    if (toUtf16.Convert(&single, 1, ignored)) return false;
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        if (toUtf16.Convert(pair, 2, ignored)) return true;
    }
    return false;
}

}  // namespace

// The conversions of one code page, opened once, and which bytes lead a
// double-byte character in it.
struct MemoryRegistry::CodePage {
    explicit CodePage(const std::string& name) : toAnsi(name, "UTF-16LE"), fromAnsi("UTF-16LE", name) {
        for (int byte = 0x80; byte < 0x100; ++byte) leadByte[byte] = IsLeadByte(fromAnsi, static_cast<unsigned char>(byte));
    }
    Converter toAnsi;
    Converter fromAnsi;
    bool leadByte[256] = {};
};

MemoryRegistry::MemoryRegistry(std::string codePage)
    : codePage_(std::move(codePage)), conversions_(std::make_unique<CodePage>(codePage_)) {
    keys_[""];  // HKLM itself
}

MemoryRegistry::~MemoryRegistry() = default;

// Exact, as Windows converts with WC_NO_BEST_FIT_CHARS: iconv without
// //TRANSLIT has no look-alikes either.
std::optional<std::string> MemoryRegistry::ToAnsi(std::u16string_view text) {
    Converter& conv = conversions_->toAnsi;
    std::string out;
    std::string bytes;
    std::string back;
    for (char16_t c : text) {
        const char unit[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        bytes.clear();
        back.clear();
        if (!conv.Convert(unit, 2, bytes)) return std::nullopt;
        // Windows maps only what converts back to the same character: iconv's
        // tables also map some characters one way (CP932: U+00AC to the bytes
        // of U+FFE2), which WC_NO_BEST_FIT_CHARS refuses.
        if (!conversions_->fromAnsi.Convert(bytes.data(), bytes.size(), back) || back.size() != 2 ||
            back[0] != unit[0] || back[1] != unit[1])
            return std::nullopt;
        out += bytes;
    }
    return out;
}

// As Windows converts with MB_ERR_INVALID_CHARS.
std::optional<std::u16string> MemoryRegistry::FromAnsi(std::string_view bytes) {
    Converter& conv = conversions_->fromAnsi;
    std::u16string out;
    std::string units;
    for (std::size_t i = 0; i < bytes.size();) {
        units.clear();
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t width = (i + 1 < bytes.size() && conversions_->leadByte[lead]) ? 2 : 1;
        if (!conv.Convert(bytes.data() + i, width, units)) return std::nullopt;
        for (std::size_t u = 0; u + 1 < units.size(); u += 2) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[u]) |
                                                (static_cast<unsigned char>(units[u + 1]) << 8)));
        }
        i += width;
    }
    return out;
}

std::string MemoryRegistry::Fold(const std::string& path) {
    std::string folded;
    for (char c : path) folded.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    // Windows ignores a leading backslash only for some calls; keys here never have one.
    while (!folded.empty() && folded.back() == '\\') folded.pop_back();
    return folded;
}

std::optional<long> MemoryRegistry::TakeFailure(Op op) {
    auto it = failures_.find(op);
    if (it == failures_.end() || it->second.empty()) return std::nullopt;
    const long status = it->second.front();
    it->second.pop_front();
    return status;
}

std::optional<std::string> MemoryRegistry::Resolve(RegHandle root, const std::string& subKey) const {
    std::string base;
    if (root == kHkeyLocalMachine) {
        base = "";
    } else if (root == platform::kHkeyCurrentUser) {
        base = "hkcu";  // the running user's keys, apart from the machine's
    } else {
        auto it = handles_.find(root);
        if (it == handles_.end()) return std::nullopt;
        base = it->second;
    }
    const std::string sub = Fold(subKey);
    if (sub.empty()) return base;
    return base.empty() ? sub : base + "\\" + sub;
}

RegHandle MemoryRegistry::NewHandle(const std::string& path) {
    const RegHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = path;
    return handle;
}

long MemoryRegistry::RegOpenKeyExA(RegHandle root, const std::string& subKey, std::uint32_t,
                                   std::uint32_t, RegHandle& key) {
    if (auto failure = TakeFailure(Op::OpenKeyEx)) return *failure;
    const auto path = Resolve(root, subKey);
    if (!path) return kErrorInvalidHandle;
    if (denied_.count(*path)) return kErrorAccessDenied;
    if (!keys_.count(*path)) return kErrorFileNotFound;
    key = NewHandle(*path);
    return kErrorSuccess;
}

long MemoryRegistry::RegCreateKeyA(RegHandle root, const std::string& subKey, RegHandle& key) {
    if (auto failure = TakeFailure(Op::CreateKey)) return *failure;
    const auto path = Resolve(root, subKey);
    if (!path) return kErrorInvalidHandle;
    if (denied_.count(*path)) return kErrorAccessDenied;
    // Create every missing component from the top down.
    for (std::size_t pos = 0;; ++pos) {
        pos = path->find('\\', pos);
        keys_[path->substr(0, pos)];
        if (pos == std::string::npos) break;
    }
    key = NewHandle(*path);
    return kErrorSuccess;
}

long MemoryRegistry::RegQueryValueExA(RegHandle key, const std::string& valueName,
                                      std::uint32_t& type, std::uint8_t* data,
                                      std::uint32_t& size) {
    if (auto failure = TakeFailure(Op::QueryValueEx)) return *failure;
    auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    auto keyIt = keys_.find(handle->second);
    if (keyIt == keys_.end()) return kErrorInvalidHandle;  // deleted underneath
    auto valueIt = keyIt->second.find(Fold(valueName));
    if (valueIt == keyIt->second.end()) return kErrorFileNotFound;
    const Value& value = valueIt->second;
    type = value.type;
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    if (data != nullptr && size < needed) {
        size = needed;
        return kErrorMoreData;
    }
    if (data != nullptr) std::copy(value.data.begin(), value.data.end(), data);
    size = needed;
    return kErrorSuccess;
}

long MemoryRegistry::RegSetValueExA(RegHandle key, const std::string& valueName, std::uint32_t type,
                                    const std::uint8_t* data, std::uint32_t size) {
    if (auto failure = TakeFailure(Op::SetValueEx)) return *failure;
    auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    Value value{type, std::vector<std::uint8_t>(data, data + size)};
    keys_[handle->second][Fold(valueName)] = std::move(value);
    return kErrorSuccess;
}

long MemoryRegistry::RegDeleteValueA(RegHandle key, const std::string& valueName) {
    if (auto failure = TakeFailure(Op::SetValueEx)) return *failure;
    auto handle = handles_.find(key);
    if (handle == handles_.end()) return kErrorInvalidHandle;
    return keys_[handle->second].erase(Fold(valueName)) ? kErrorSuccess : kErrorFileNotFound;
}

long MemoryRegistry::RegCloseKey(RegHandle key) {
    if (auto failure = TakeFailure(Op::CloseKey)) return *failure;
    return handles_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

void MemoryRegistry::Put(const std::string& path, const std::string& name, std::uint32_t type,
                         std::vector<std::uint8_t> data) {
    RegHandle key = 0;
    RegCreateKeyA(kHkeyLocalMachine, path, key);
    RegSetValueExA(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    RegCloseKey(key);
}

void MemoryRegistry::PutString(const std::string& path, const std::string& name, const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    Put(path, name, kRegSz, std::move(data));
}

std::optional<MemoryRegistry::Value> MemoryRegistry::Get(const std::string& path,
                                                         const std::string& name) const {
    auto keyIt = keys_.find(Fold(path));
    if (keyIt == keys_.end()) return std::nullopt;
    auto valueIt = keyIt->second.find(Fold(name));
    if (valueIt == keyIt->second.end()) return std::nullopt;
    return valueIt->second;
}

}  // namespace testing_support
