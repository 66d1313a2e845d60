#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace {

// A SID allocated by the system, freed when done.
inline void FreeSidMemory(PSID sid) { ::FreeSid(sid); }
using OwnedSid = UniqueHandle<PSID, FreeSidMemory, nullptr>;

}  // namespace

std::u16string Win32System::ProgramDataDirectory() {
    // Where Windows keeps the ProgramData known folder's path: read from the
    // registry, this costs no shell32 and ole32 at start-up (a tenth of a
    // short run under Wine). Only an administrator can change the value.
    // RRF_RT_REG_SZ alone: a REG_EXPAND_SZ value comes back expanded.
    wchar_t path[MAX_PATH + 1] = {};
    DWORD size = sizeof path - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                       L"ProgramData", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, path,
                       &size) == ERROR_SUCCESS &&
        path[0] != L'\0' && path[1] == L':')
        return FromWide(path, wcslen(path));
    // Else the known folder itself, through the shell.
    std::u16string folder;
    const auto getKnownFolder = Shell32().SHGetKnownFolderPath;
    const auto freeMemory = Ole32().CoTaskMemFree;
    PWSTR known = nullptr;
    if (getKnownFolder && freeMemory && SUCCEEDED(getKnownFolder(FOLDERID_ProgramData, 0, nullptr, &known)))
        folder = FromWide(known, wcslen(known));
    if (freeMemory) freeMemory(known);
    if (folder.empty()) folder = u"C:\\ProgramData";
    return folder;
}

NameList Win32System::ListSerialCommPorts() {
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &opened);
    if (status == ERROR_FILE_NOT_FOUND) return {true, {}, {}};
    if (status != ERROR_SUCCESS) return {false, {}, SystemErrorText(static_cast<DWORD>(status))};
    const RegistryKey key(opened);
    NameList list{true, {}, {}};
    std::vector<wchar_t> name(256);
    std::vector<BYTE> data(512);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS read = ::RegEnumValueW(key.get(), index, name.data(), &nameSize, nullptr, &type, data.data(),
                                             &dataSize);
        if (read == ERROR_NO_MORE_ITEMS) break;
        if (read == ERROR_MORE_DATA) {
            // A longer name or data than the buffers: grow them and read it again.
            name.resize(name.size() * 2);
            data.resize(std::max<std::size_t>(data.size() * 2, dataSize));
            if (name.size() > 65536) return {false, {}, SystemErrorText(static_cast<DWORD>(read))};
            --index;
            continue;
        }
        if (read != ERROR_SUCCESS) return {false, {}, SystemErrorText(static_cast<DWORD>(read))};
        if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
        std::size_t length = dataSize / sizeof(wchar_t);
        const auto* text = reinterpret_cast<const wchar_t*>(data.data());
        while (length > 0 && text[length - 1] == L'\0') --length;
        list.names.push_back(FromWide(text, length));
    }
    return list;
}

// Membership of the Administrators group that counts: under UAC a
// non-elevated administrator's token holds it for denying only.
bool Win32System::IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &sid))
        return false;
    const OwnedSid admins(sid);
    BOOL member = FALSE;
    return ::CheckTokenMembership(nullptr, admins.get(), &member) && member;
}

std::u16string Win32System::RunningUserSid() {
    const std::vector<BYTE> user = TokenUserOfProcess();
    return user.empty() ? std::u16string() : SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

std::u16string Win32System::RunningAccountName() {
    std::vector<BYTE> user = TokenUserOfProcess();
    if (user.empty()) return {};
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (!::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) return SidText(sid);
    const std::u16string account = FromWide(name, nameSize);
    return domainSize ? FromWide(domain, domainSize) + u"\\" + account : account;
}


std::optional<std::u16string> Win32System::ComPortBusy(std::u16string_view port) {
    const std::u16string device = u"\\\\.\\" + std::u16string(port);
    HANDLE h = ::CreateFileW(Wide(device), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return std::nullopt;
    }
    const DWORD error = ::GetLastError();
    // An absent port is said by the serial ports' own check.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return u"another program holds it open";
    return SystemErrorText(error);
}

namespace {

// The signature's verdict closes its state when done.
struct TrustCheck {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    KernelHandle opened;  // the catalog, read through this run's own handle, closed with the check
    WINTRUST_FILE_INFO file{};
    WINTRUST_DATA data{};
    LONG result = 0;
    explicit TrustCheck(const std::wstring& path) {
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        opened.reset(h == INVALID_HANDLE_VALUE ? nullptr : h);
        file.cbStruct = sizeof file;
        file.pcwszFilePath = path.c_str();
        file.hFile = opened.get();
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        data.fdwRevocationChecks = WTD_REVOKE_NONE;  // a till often has no way to the revocation lists
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &file;
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        result = Wintrust().WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    }
    ~TrustCheck() {
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        Wintrust().WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    }
    TrustCheck(const TrustCheck&) = delete;
    TrustCheck& operator=(const TrustCheck&) = delete;
};

// Whether the certificate may sign for Windows' driver verification, which
// only Microsoft's own driver signing certificates may (WHQL).
bool SignsForWindowsDrivers(PCCERT_CONTEXT cert) {
    DWORD size = 0;
    if (!Crypt32().CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size) || !size)
        return false;
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!Crypt32().CertGetEnhancedKeyUsage(cert, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size)) return false;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        if (std::string_view(usage->rgpszUsageIdentifier[i]) == szOID_WHQL_CRYPTO) return true;
    return false;
}

// What a signature check's result means, in the words a help desk needs.
std::u16string TrustResultText(LONG result) {
    switch (static_cast<HRESULT>(result)) {
    case TRUST_E_NOSIGNATURE: return u"it carries no signature";
    case TRUST_E_SUBJECT_FORM_UNKNOWN: return u"it is not a signed catalog file";
    case TRUST_E_BAD_DIGEST: return u"it was changed after it was signed";
    case CERT_E_EXPIRED: return u"its certificate has expired";
    case CERT_E_REVOKED: return u"its certificate was revoked";
    case CERT_E_UNTRUSTEDROOT: return u"its certificate chains to a root this machine does not trust";
    case CERT_E_UNTRUSTEDTESTROOT: return u"it is signed with a test certificate";
    case CERT_E_CHAINING: return u"its certificate's chain cannot be built";
    case TRUST_E_EXPLICIT_DISTRUST: return u"its signer is marked as not trusted on this machine";
    default: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(result));
        return SystemErrorText(static_cast<DWORD>(result)) + u" (" + std::u16string(hex, hex + std::strlen(hex)) + u")";
    }
    }
}

bool InTrustedPublishers(PCCERT_CONTEXT cert) {
    const auto& crypt = Crypt32();
    HCERTSTORE store = crypt.CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                           CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG |
                                               CERT_STORE_OPEN_EXISTING_FLAG,
                                           L"TrustedPublisher");
    if (!store) return false;
    PCCERT_CONTEXT found =
        crypt.CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
    if (found) crypt.CertFreeCertificateContext(found);
    crypt.CertCloseStore(store, 0);
    return found != nullptr;
}

void CloseService(SC_HANDLE h) { ::CloseServiceHandle(h); }
using ServiceHandle = UniqueHandle<SC_HANDLE, CloseService, nullptr>;

// The service `name`, opened with `access`; the reason when it is not.
ServiceHandle OpenNamedService(std::u16string_view name, DWORD access, std::u16string& reason, bool& exists) {
    exists = false;
    const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        reason = u"the service manager could not be opened (" + SystemErrorText(::GetLastError()) + u")";
        return ServiceHandle();
    }
    ServiceHandle service(::OpenServiceW(manager.get(), Wide(std::u16string(name)), access));
    if (!service) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_SERVICE_DOES_NOT_EXIST) reason = SystemErrorText(error);
        return service;
    }
    exists = true;
    return service;
}

bool Running(SC_HANDLE service, std::u16string& reason) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                &needed)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return status.dwCurrentState == SERVICE_RUNNING;
}

// A file's hash as a catalog names its members: upper-case hex, with the
// catalog administrator's algorithm (SHA-1, or SHA-256 where asked).
std::optional<std::wstring> MemberTag(HCATADMIN admin, HANDLE file) {
    BYTE hash[64];
    DWORD size = sizeof hash;
    const auto& api = Wintrust();
    const BOOL hashed = admin ? api.CryptCATAdminCalcHashFromFileHandle2(admin, file, &size, hash, 0)
                              : api.CryptCATAdminCalcHashFromFileHandle(file, &size, hash, 0);
    if (!hashed) return std::nullopt;
    std::wstring tag;
    for (DWORD i = 0; i < size; ++i) {
        static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
        tag += kHex[hash[i] >> 4];
        tag += kHex[hash[i] & 0xF];
    }
    return tag;
}

// The first of `members` the catalog does not list by its SHA-1 or SHA-256
// hash; nothing when it lists them all. `reason` says why it could not be
// asked.
std::optional<std::u16string> FirstNonMember(const std::wstring& catalog, const std::vector<std::u16string>& members,
                                             std::u16string& reason) {
    const auto& api = Wintrust();
    if (!api.CryptCATOpen || !api.CryptCATGetMemberInfo || !api.CryptCATAdminCalcHashFromFileHandle) {
        reason = u"the system's catalog functions cannot be loaded";
        return std::nullopt;
    }
    std::wstring name = catalog;
    HANDLE opened = api.CryptCATOpen(name.data(), CRYPTCAT_OPEN_EXISTING, 0, 0, 0);
    if (opened == INVALID_HANDLE_VALUE || !opened) {
        reason = u"it cannot be read as a catalog (" + SystemErrorText(::GetLastError()) + u")";
        return std::nullopt;
    }
    HCATADMIN sha256 = nullptr;
    if (api.CryptCATAdminAcquireContext2 && api.CryptCATAdminCalcHashFromFileHandle2)
        api.CryptCATAdminAcquireContext2(&sha256, nullptr, L"SHA256", nullptr, 0);
    std::optional<std::u16string> missing;
    for (const auto& member : members) {
        HANDLE h = ::CreateFileW(Wide(member), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        const KernelHandle file(h == INVALID_HANDLE_VALUE ? nullptr : h);
        bool listed = false;
        if (file) {
            // SHA-1 tags first, then SHA-256 ones where the system has them.
            if (const auto tag = MemberTag(nullptr, file.get())) {
                std::wstring text = *tag;
                listed = api.CryptCATGetMemberInfo(opened, text.data()) != nullptr;
            }
            if (!listed && sha256 && ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == 0)
                if (const auto tag = MemberTag(sha256, file.get())) {
                    std::wstring text = *tag;
                    listed = api.CryptCATGetMemberInfo(opened, text.data()) != nullptr;
                }
        }
        if (!listed) {
            missing = member;
            break;
        }
    }
    if (sha256) api.CryptCATAdminReleaseContext(sha256, 0);
    api.CryptCATClose(opened);
    return missing;
}

}  // namespace

System::CatalogTrust Win32System::CatalogSignature(std::u16string_view catalogPath,
                                                     const std::vector<std::u16string>& members) {
    using State = CatalogTrust::State;
    if (!Wintrust().WinVerifyTrust || !Crypt32().CertOpenStore)
        return {State::Unverified, u"the system's signature check cannot be loaded (" +
                                       SystemErrorText(Wintrust().error ? Wintrust().error : Crypt32().error) + u")"};
    const std::wstring path(catalogPath.begin(), catalogPath.end());
    const TrustCheck check(path);
    switch (static_cast<HRESULT>(check.result)) {
    case ERROR_SUCCESS: break;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
    case TRUST_E_EXPLICIT_DISTRUST:
        return {State::SignerNotTrusted, TrustResultText(check.result)};
    default:
        return {State::Unverified, TrustResultText(check.result)};
    }
    CRYPT_PROVIDER_DATA* provider = Wintrust().WTHelperProvDataFromStateData(check.data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider ? Wintrust().WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || !signer->csCertChain || !signer->pasCertChain || !signer->pasCertChain[0].pCert)
        return {State::Unverified, u"the catalog's signer cannot be read"};
    PCCERT_CONTEXT cert = signer->pasCertChain[0].pCert;
    wchar_t name[256] = {};
    const DWORD n = Crypt32().CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
    const std::u16string signerName = n > 1 ? FromWide(name, n - 1) : u"(no name)";
    if (!SignsForWindowsDrivers(cert) && !InTrustedPublishers(cert)) return {State::SignerNotTrusted, signerName};
    // A signature that holds vouches only for the files the catalog lists.
    std::u16string unasked;
    const auto missing = FirstNonMember(path, members, unasked);
    if (!unasked.empty()) return {State::Unverified, unasked};
    if (missing) return {State::NotMember, *missing};
    return {State::Trusted, signerName};
}

ServiceState Win32Services::QueryService(std::u16string_view name) {
    ServiceState state;
    const ServiceHandle service =
        OpenNamedService(name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, state.reason, state.exists);
    if (!service) {
        state.asked = state.reason.empty();
        return state;
    }
    DWORD needed = 0;
    ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : sizeof(QUERY_SERVICE_CONFIGW));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
        state.reason = SystemErrorText(::GetLastError());
        return state;
    }
    state.disabled = config->dwStartType == SERVICE_DISABLED;
    state.running = Running(service.get(), state.reason);
    state.asked = state.reason.empty();
    return state;
}

bool Win32Services::StartAndWait(std::u16string_view name, std::uint32_t timeoutMilliseconds, std::u16string& reason) {
    bool exists = false;
    const ServiceHandle service = OpenNamedService(name, SERVICE_QUERY_STATUS | SERVICE_START, reason, exists);
    if (!service) {
        if (!exists && reason.empty()) reason = u"there is no such service";
        return false;
    }
    if (!::StartServiceW(service.get(), 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    const ULONGLONG until = ::GetTickCount64() + timeoutMilliseconds;
    while (!Running(service.get(), reason)) {
        if (!reason.empty()) return false;
        if (::GetTickCount64() >= until) {
            const std::string seconds = std::to_string(timeoutMilliseconds / 1000);
            reason = u"it was started but did not run within " + std::u16string(seconds.begin(), seconds.end()) + u" s";
            return false;
        }
        ::Sleep(250);
    }
    return true;
}

std::uint64_t Win32System::Milliseconds() { return ::GetTickCount64(); }

std::u16string Win32System::LocalTimestamp() {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    TIME_ZONE_INFORMATION zone{};
    LONG bias = 0;
    switch (::GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_DAYLIGHT: bias = zone.Bias + zone.DaylightBias; break;
    case TIME_ZONE_ID_STANDARD: bias = zone.Bias + zone.StandardBias; break;
    case TIME_ZONE_ID_UNKNOWN: bias = zone.Bias; break;
    default: break;
    }
    const LONG offset = -bias;  // minutes east of UTC
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
                  (offset < 0 ? -offset : offset) % 60);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace platform
