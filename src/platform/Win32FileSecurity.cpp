#include "platform/Win32Api.h"
#include "platform/Win32FileSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <optional>

namespace platform {

namespace {

// An allow or deny entry of any type (plain, callback, object, callback
// object): its SID, mask and kind; nothing for the other entry types. The
// object types hold up to two GUIDs before the SID, as their flags say.
std::optional<AccessEntry> AccessEntryOf(const ACE_HEADER* header) {
    bool allow = false;
    bool object = false;
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE: case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: allow = true; break;
    case ACCESS_DENIED_ACE_TYPE: case ACCESS_DENIED_CALLBACK_ACE_TYPE: break;
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE: case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: allow = object = true; break;
    case ACCESS_DENIED_OBJECT_ACE_TYPE: case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: object = true; break;
    default: return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(header);
    DWORD mask = 0;
    std::memcpy(&mask, bytes + sizeof(ACE_HEADER), sizeof mask);
    std::size_t sidOffset = sizeof(ACE_HEADER) + sizeof(DWORD);
    if (object) {
        DWORD flags = 0;
        std::memcpy(&flags, bytes + sidOffset, sizeof flags);
        sidOffset += sizeof(DWORD) + ((flags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0) +
                     ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0);
    }
    if (sidOffset + 8 > header->AceSize) return std::nullopt;
    return AccessEntry{allow, SidText(const_cast<BYTE*>(bytes + sidOffset)), mask, false};
}

// Whether two paths name the same place, letter case aside; the final path
// comes as \\?\C:\... or \\?\UNC\server\...
bool SamePath(std::u16string finalPath, const std::u16string& expected) {
    if (finalPath.rfind(u"\\\\?\\UNC\\", 0) == 0) finalPath = u"\\\\" + finalPath.substr(8);
    else if (finalPath.rfind(u"\\\\?\\", 0) == 0) finalPath = finalPath.substr(4);
    return ::CompareStringOrdinal(Wide(finalPath), static_cast<int>(finalPath.size()), Wide(expected),
                                  static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}


}  // namespace

Descriptor::Descriptor(std::u16string_view sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(std::u16string(sddl)), SDDL_REVISION_1, &sd, nullptr))
        memory_.reset(sd);
    else
        error_ = ::GetLastError();
}

std::u16string FullPathOf(const std::u16string& path) {
    const DWORD n = ::GetFullPathNameW(Wide(path), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD written = ::GetFullPathNameW(Wide(path), n, full.data(), nullptr);
    if (written == 0 || written >= n) return path;
    full.resize(written);
    return FromWide(full);
}

bool OpenedAt(HANDLE handle, const std::u16string& path) {
    std::wstring finalPath(1024, L'\0');
    const DWORD n = ::GetFinalPathNameByHandleW(handle, finalPath.data(), static_cast<DWORD>(finalPath.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return n != 0 && n < finalPath.size() && SamePath(FromWide(finalPath.data(), n), FullPathOf(path));
}

// The facts of an opened file or folder: whether it is, or resolves to,
// something other than `path`, its links and its security.
void FactsOfHandle(HANDLE handle, const std::u16string& path, PathFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        facts.reason = SystemErrorText(::GetLastError());
        return;
    }
    facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.links = info.nNumberOfLinks;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) facts.redirected = true;
    // A link on the way, or one the system follows even so, shows in the
    // path the opened file really has.
    if (!OpenedAt(handle, path)) facts.redirected = true;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD error = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                          &owner, nullptr, &dacl, nullptr, &sd);
    if (error != ERROR_SUCCESS) {
        facts.reason = SystemErrorText(error);
        return;
    }
    const LocalMemory ownedSd(sd);
    facts.securityRead = true;
    facts.owner = SidText(owner);
    facts.nullDacl = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (auto entry = AccessEntryOf(header)) {
            entry->inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
            facts.access.push_back(std::move(*entry));
        }
    }
}

}  // namespace platform
