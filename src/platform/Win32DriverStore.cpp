// Windows' driver store as its INF folder shows it: the published INF files
// (oemNN.inf), read through handles that are not links, and the name each
// was published from, as SetupAPI reports it.
#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <string>
#include <vector>

namespace platform {

namespace {

// %windir%\INF, from the system's own record of its folder.
std::u16string InfFolder() {
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return u"C:\\Windows\\INF";
    return FromWide(windows, length) + u"\\INF";
}

// A published INF's name is a plain file name: nothing that leaves the folder.
bool PlainName(std::u16string_view name) {
    return !name.empty() && name.find_first_of(u"\\/:") == std::u16string_view::npos && name != u"." && name != u"..";
}

}  // namespace

NameList Win32System::ListPublishedInfs() {
    const std::u16string pattern = InfFolder() + u"\\oem*.inf";
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileExW(Wide(pattern), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return {true, {}, {}};
        return {false, {}, SystemErrorText(error)};
    }
    const FindHandle owned(search);
    NameList list{true, {}, {}};
    do {
        // A link in the INF folder is nobody's published package.
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        list.names.push_back(FromWide(found.cFileName, wcslen(found.cFileName)));
    } while (::FindNextFileW(search, &found));
    return list;
}

std::optional<std::string> Win32System::PublishedInfBytes(std::u16string_view name, std::uint64_t limit,
                                                          std::u16string& reason) {
    if (!PlainName(name)) {
        reason = SystemErrorText(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    const std::u16string path = InfFolder() + u"\\" + std::u16string(name);
    const KernelHandle file(::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE || !file) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info)) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        reason = SystemErrorText(448);  // ERROR_UNTRUSTED_MOUNT_POINT
        return std::nullopt;
    }
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > limit) {
        reason = SystemErrorText(ERROR_FILE_TOO_LARGE);
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    DWORD read = 0;
    if (size && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(size), &read, nullptr) || read != size)) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::u16string> Win32System::OriginalInfName(std::u16string_view name, std::u16string& reason) {
    const SetupApi& api = Setup();
    if (!api.SetupGetInfInformationW || !api.SetupQueryInfOriginalFileInformationW) {
        reason = SystemErrorText(api.error ? api.error : ERROR_PROC_NOT_FOUND);
        return std::nullopt;
    }
    if (!PlainName(name)) {
        reason = SystemErrorText(ERROR_INVALID_NAME);
        return std::nullopt;
    }
    const std::u16string path = InfFolder() + u"\\" + std::u16string(name);
    DWORD size = 0;
    if (!api.SetupGetInfInformationW(Wide(path), INFINFO_INF_NAME_IS_ABSOLUTE, nullptr, 0, &size) || size == 0) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    std::vector<BYTE> buffer(size);
    auto* info = reinterpret_cast<PSP_INF_INFORMATION>(buffer.data());
    if (!api.SetupGetInfInformationW(Wide(path), INFINFO_INF_NAME_IS_ABSOLUTE, info, size, nullptr)) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    SP_ORIGINAL_FILE_INFO_W original{};
    original.cbSize = sizeof original;
    if (!api.SetupQueryInfOriginalFileInformationW(info, 0, nullptr, &original)) {
        reason = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    original.OriginalInfName[MAX_PATH - 1] = L'\0';
    return FromWide(original.OriginalInfName, wcslen(original.OriginalInfName));
}

}  // namespace platform
