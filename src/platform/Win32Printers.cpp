#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <vector>

namespace platform {

namespace {

std::u16string Owned(const wchar_t* s) { return s ? FromWide(s, wcslen(s)) : std::u16string(); }

// Why a function of the print client cannot be called: the client could
// not be loaded, or lacks it.
std::u16string Unavailable() { return SystemErrorText(Winspool().error ? Winspool().error : ERROR_PROC_NOT_FOUND); }

// A listing through a winspool Enum... function. The print system does the
// whole listing's work for each call, also for one that only asks the size:
// the first call gets a buffer that holds a thousand printers' details, so
// that one call is the rule; a listing that does not fit is asked again with
// the size the print system names (again if entries were added meanwhile).
constexpr std::size_t kFirstListingBytes = std::size_t{1} << 20;
template <typename Enumerate>
bool EnumerateInto(Enumerate&& enumerate, std::vector<BYTE>& buffer, DWORD& count, DWORD& error) {
    buffer.resize(kFirstListingBytes);
    DWORD needed = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        count = 0;
        if (enumerate(buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) return true;
        error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) return false;
        buffer.resize(needed);
    }
    return false;
}

// The local printers and printer connections at `level`, or why not.
bool EnumeratePrinters(DWORD level, std::vector<BYTE>& buffer, DWORD& count, std::u16string& reason,
                       DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS) {
    const auto enumPrinters = Winspool().EnumPrintersW;
    DWORD error = 0;
    if (!enumPrinters) {
        reason = Unavailable();
        return false;
    }
    if (EnumerateInto(
            [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return enumPrinters(flags, nullptr, level, data, size, needed, returned);
            },
            buffer, count, error))
        return true;
    reason = SystemErrorText(error);
    return false;
}

}  // namespace

NameList Win32PrinterList::ListPrinters() {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    NameList list;
    if (!EnumeratePrinters(4, buffer, count, list.reason)) return list;
    list.listed = true;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) list.names.push_back(Owned(info[i].pPrinterName));
    return list;
}

namespace {

PrinterInfoList PrinterDetails(DWORD flags) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    PrinterInfoList list;
    if (!EnumeratePrinters(2, buffer, count, list.reason, flags)) return list;
    list.listed = true;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        list.printers.push_back({Owned(info[i].pPrinterName), Owned(info[i].pPortName), Owned(info[i].pDriverName)});
    return list;
}

}  // namespace

PrinterInfoList Win32Printers::ListPrinterDetails() {
    return PrinterDetails(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS);
}
PrinterInfoList Win32Printers::ListLocalPrinters() { return PrinterDetails(PRINTER_ENUM_LOCAL); }

NameList Win32PrinterList::ListPrinterDrivers() {
    const auto enumDrivers = Winspool().EnumPrinterDriversW;
    if (!enumDrivers) return {false, {}, Unavailable()};
    std::vector<BYTE> buffer;
    DWORD count = 0;
    DWORD error = 0;
    if (!EnumerateInto(
            [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return enumDrivers(nullptr, nullptr, 1, data, size, needed, returned);
            },
            buffer, count, error))
        return {false, {}, SystemErrorText(error)};
    NameList list{true, {}, {}};
    const auto* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) list.names.push_back(Owned(info[i].pName));
    return list;
}

std::u16string Win32Printers::DriverVersion(std::u16string_view model) {
    const auto enumDrivers = Winspool().EnumPrinterDriversW;
    if (!enumDrivers) return {};
    std::vector<BYTE> buffer;
    DWORD count = 0;
    DWORD error = 0;
    if (!EnumerateInto(
            [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return enumDrivers(nullptr, nullptr, 6, data, size, needed, returned);
            },
            buffer, count, error))
        return {};
    const auto* info = reinterpret_cast<const DRIVER_INFO_6W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (Owned(info[i].pName) != model) continue;
        const DWORDLONG v = info[i].dwlDriverVersion;
        if (v == 0) return {};  // not reported (Wine's print system)
        std::u16string text;
        for (int shift = 48; shift >= 0; shift -= 16) {
            const std::string part = std::to_string((v >> shift) & 0xFFFF);
            text += (shift == 48 ? u"" : u".") + std::u16string(part.begin(), part.end());
        }
        return text;
    }
    return {};
}

std::u16string Win32Printers::DefaultPrinter() {
    const auto getDefault = Winspool().GetDefaultPrinterW;
    if (!getDefault) return {};
    DWORD size = 0;
    getDefault(nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!getDefault(name.data(), &size)) return {};
    return Owned(name.c_str());
}

PrinterLookup Win32Printers::FindPrinter(std::u16string_view name) {
    const WinspoolApi& winspool = Winspool();
    PrinterLookup lookup;
    if (!winspool.OpenPrinterW || !winspool.GetPrinterW || !winspool.ClosePrinter) {
        lookup.reason = Unavailable();
        return lookup;
    }
    std::u16string asked(name);
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_USE};
    HANDLE opened = nullptr;
    if (!winspool.OpenPrinterW(reinterpret_cast<wchar_t*>(asked.data()), &opened, &access)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INVALID_PRINTER_NAME) {
            lookup.reason = SystemErrorText(error);
            return lookup;
        }
        // Wine's OpenPrinter does not always find a printer that another
        // process has just added: the local printers' listing, which asks
        // no print server, settles whether it is there.
        std::vector<BYTE> buffer;
        DWORD count = 0;
        if (!EnumeratePrinters(2, buffer, count, lookup.reason, PRINTER_ENUM_LOCAL)) return lookup;
        lookup.asked = true;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            if (Owned(info[i].pPrinterName) == asked) {
                lookup.found = true;
                lookup.printer = {asked, Owned(info[i].pPortName), Owned(info[i].pDriverName)};
            }
        return lookup;
    }
    struct Closer {
        decltype(&::ClosePrinter) close;
        HANDLE handle;
        ~Closer() { close(handle); }
    } const owned{winspool.ClosePrinter, opened};
    DWORD needed = 0;
    winspool.GetPrinterW(owned.handle, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !winspool.GetPrinterW(owned.handle, 2, buffer.data(), needed, &needed)) {
        lookup.reason = SystemErrorText(::GetLastError());
        return lookup;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    lookup.asked = lookup.found = true;
    lookup.printer = {Owned(info->pPrinterName), Owned(info->pPortName), Owned(info->pDriverName)};
    return lookup;
}

bool Win32Printers::PurgePrintJobs(std::u16string_view printer, std::u16string& reason) {
    const WinspoolApi& winspool = Winspool();
    if (!winspool.OpenPrinterW || !winspool.SetPrinterW || !winspool.ClosePrinter) {
        reason = Unavailable();
        return false;
    }
    std::u16string name(printer);
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
    HANDLE opened = nullptr;
    if (!winspool.OpenPrinterW(reinterpret_cast<wchar_t*>(name.data()), &opened, &access)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    // The printer handle is closed with the spooler's own function.
    struct Closer {
        decltype(&::ClosePrinter) close;
        HANDLE handle;
        ~Closer() { close(handle); }
    } const owned{winspool.ClosePrinter, opened};
    if (!winspool.SetPrinterW(owned.handle, 0, nullptr, PRINTER_CONTROL_PURGE)) {
        reason = SystemErrorText(::GetLastError());
        return false;
    }
    return true;
}

namespace {

// A printer opened for use, closed with the spooler's own function.
class OpenedPrinter {
public:
    OpenedPrinter(std::u16string_view name, std::u16string& reason) : api_(Winspool()) {
        if (!api_.OpenPrinterW || !api_.ClosePrinter) {
            reason = u"the print system's client could not be loaded";
            return;
        }
        std::u16string asked(name);
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_USE};
        if (!api_.OpenPrinterW(reinterpret_cast<wchar_t*>(asked.data()), &handle_, &access)) {
            handle_ = nullptr;
            reason = SystemErrorText(::GetLastError());
        }
    }
    ~OpenedPrinter() {
        if (handle_) api_.ClosePrinter(handle_);
    }
    OpenedPrinter(const OpenedPrinter&) = delete;
    OpenedPrinter& operator=(const OpenedPrinter&) = delete;
    HANDLE get() const { return handle_; }
    const WinspoolApi& api() const { return api_; }

private:
    const WinspoolApi& api_;
    HANDLE handle_ = nullptr;
};

}  // namespace

std::uint32_t Win32Printers::PrintRaw(std::u16string_view printer, std::u16string_view document,
                                      std::string_view bytes, std::u16string& reason) {
    const OpenedPrinter opened(printer, reason);
    if (!opened.get()) return 0;
    const WinspoolApi& api = opened.api();
    if (!api.StartDocPrinterW || !api.StartPagePrinter || !api.WritePrinter || !api.EndPagePrinter ||
        !api.EndDocPrinter) {
        reason = u"the print system's client lacks the printing functions";
        return 0;
    }
    std::u16string name(document);
    wchar_t raw[] = L"RAW";
    DOC_INFO_1W doc{reinterpret_cast<wchar_t*>(name.data()), nullptr, raw};
    const DWORD job = api.StartDocPrinterW(opened.get(), 1, reinterpret_cast<BYTE*>(&doc));
    if (job == 0) {
        reason = SystemErrorText(::GetLastError());
        return 0;
    }
    DWORD written = 0;
    const bool sent = api.StartPagePrinter(opened.get()) &&
                      api.WritePrinter(opened.get(), const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                       &written) &&
                      written == bytes.size() && api.EndPagePrinter(opened.get());
    if (!sent) reason = SystemErrorText(::GetLastError());
    api.EndDocPrinter(opened.get());
    return sent ? job : 0;
}

std::optional<std::uint32_t> Win32Printers::JobStatus(std::u16string_view printer, std::uint32_t job,
                                                      std::u16string& reason) {
    const OpenedPrinter opened(printer, reason);
    if (!opened.get() || !opened.api().GetJobW) return std::nullopt;
    DWORD needed = 0;
    opened.api().GetJobW(opened.get(), job, 1, nullptr, 0, &needed);
    if (needed == 0) {
        // An id the queue no longer holds is an invalid parameter.
        if (const DWORD error = ::GetLastError(); error != ERROR_INVALID_PARAMETER) reason = SystemErrorText(error);
        return std::nullopt;
    }
    std::vector<BYTE> buffer(needed);
    if (!opened.api().GetJobW(opened.get(), job, 1, buffer.data(), needed, &needed)) return std::nullopt;
    return reinterpret_cast<const JOB_INFO_1W*>(buffer.data())->Status;
}

}  // namespace platform
