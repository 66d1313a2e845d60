#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include "platform/Win32Handles.h"

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
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

namespace {

// Runs `work` on a thread of its own and waits at most `milliseconds` for
// it: false when it has not ended by then. A call into the print system can
// wait on its port or on a spooler that hangs; the thread is then left to
// end on its own (or with the process), and `work` owns what it uses.
DWORD WINAPI RunWork(void* parameter) {
    const std::unique_ptr<std::function<void()>> call(static_cast<std::function<void()>*>(parameter));
    (*call)();
    return 0;
}

bool RunBounded(std::function<void()> work, DWORD milliseconds) {
    auto* owned = new std::function<void()>(std::move(work));
    const KernelHandle thread(::CreateThread(nullptr, 0, RunWork, owned, 0, nullptr));
    if (!thread.get()) {
        // No thread: the call is made here, unbounded.
        const std::unique_ptr<std::function<void()>> call(owned);
        (*call)();
        return true;
    }
    return ::WaitForSingleObject(thread.get(), milliseconds) == WAIT_OBJECT_0;
}

// What the sending thread found; read by the caller once the thread has
// ended, except the job id, which it reads while the thread still waits.
struct Sending {
    std::u16string printer;
    std::u16string document;
    std::string bytes;
    std::atomic<DWORD> job{0};
    bool taken = false;
    std::u16string reason;
};

// The page as one RAW job: started, written, ended. A write that fails
// aborts the job, so that no partial page stays queued; a job the print
// system would not end is deleted.
void SendPage(Sending& sending) {
    const OpenedPrinter opened(sending.printer, sending.reason);
    if (!opened.get()) return;
    const WinspoolApi& api = opened.api();
    if (!api.StartDocPrinterW || !api.StartPagePrinter || !api.WritePrinter || !api.EndPagePrinter ||
        !api.EndDocPrinter || !api.AbortPrinter) {
        sending.reason = u"the print system's client lacks the printing functions";
        return;
    }
    std::u16string name(sending.document);
    wchar_t raw[] = L"RAW";
    DOC_INFO_1W doc{reinterpret_cast<wchar_t*>(name.data()), nullptr, raw};
    const DWORD job = api.StartDocPrinterW(opened.get(), 1, reinterpret_cast<BYTE*>(&doc));
    if (job == 0) {
        sending.reason = SystemErrorText(::GetLastError());
        return;
    }
    sending.job = job;
    DWORD written = 0;
    const bool sent = api.StartPagePrinter(opened.get()) &&
                      api.WritePrinter(opened.get(), sending.bytes.data(), static_cast<DWORD>(sending.bytes.size()),
                                       &written) &&
                      written == sending.bytes.size() && api.EndPagePrinter(opened.get());
    if (!sent) {
        const DWORD error = ::GetLastError();
        sending.reason = (error ? SystemErrorText(error) : u"the page was not written whole") + u"; the job was aborted";
        api.AbortPrinter(opened.get());
        return;
    }
    if (!api.EndDocPrinter(opened.get())) {
        sending.reason = u"the print system did not take the job: " + SystemErrorText(::GetLastError());
        if (api.SetJobW) api.SetJobW(opened.get(), job, 0, nullptr, JOB_CONTROL_DELETE);
        return;
    }
    sending.taken = true;
}

// How long a question to the print system may take before it counts as
// unanswered.
constexpr DWORD kAnswerMilliseconds = 10000;

// The queue's jobs' ids and status bits, when the print system lists them.
std::optional<std::vector<std::pair<DWORD, DWORD>>> ListJobs(const OpenedPrinter& opened) {
    if (!opened.api().EnumJobsW) return std::nullopt;
    std::vector<BYTE> buffer;
    DWORD count = 0;
    DWORD error = 0;
    ::SetLastError(ERROR_SUCCESS);
    if (!EnumerateInto(
            [&](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return opened.api().EnumJobsW(opened.get(), 0, 0xFFFFFFFF, 1, data, size, needed, returned);
            },
            buffer, count, error))
        return std::nullopt;
    std::vector<std::pair<DWORD, DWORD>> jobs;
    const auto* info = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) jobs.emplace_back(info[i].JobId, info[i].Status);
    return jobs;
}

struct JobAnswer {
    std::optional<DWORD> status;
    std::u16string reason;
};

// A job's status. A job the queue no longer holds is not an error of one
// code: the queue's listing without it says so; where the print system
// cannot list its jobs, GetJob's "no such job" does, which Windows says as
// ERROR_INVALID_PARAMETER and Wine as ERROR_INVALID_HANDLE or no error.
JobAnswer AskJob(const std::u16string& printer, DWORD job) {
    JobAnswer answer;
    const OpenedPrinter opened(printer, answer.reason);
    if (!opened.get()) return answer;
    if (!opened.api().GetJobW) {
        answer.reason = Unavailable();
        return answer;
    }
    DWORD needed = 0;
    ::SetLastError(ERROR_SUCCESS);
    opened.api().GetJobW(opened.get(), job, 1, nullptr, 0, &needed);
    const DWORD error = ::GetLastError();
    if (needed != 0) {
        std::vector<BYTE> buffer(needed);
        if (opened.api().GetJobW(opened.get(), job, 1, buffer.data(), needed, &needed)) {
            answer.status = reinterpret_cast<const JOB_INFO_1W*>(buffer.data())->Status;
            return answer;
        }
    }
    if (const auto jobs = ListJobs(opened)) {
        for (const auto& [id, status] : *jobs)
            if (id == job) answer.status = status;
        return answer;
    }
    if (error != ERROR_SUCCESS && error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_HANDLE)
        answer.reason = SystemErrorText(error);
    return answer;
}

}  // namespace

SentJob Win32Printers::PrintRaw(std::u16string_view printer, std::u16string_view document, std::string_view bytes,
                                std::uint32_t timeoutMilliseconds) {
    auto sending = std::make_shared<Sending>();
    sending->printer = printer;
    sending->document = document;
    sending->bytes = bytes;
    if (!RunBounded([sending] { SendPage(*sending); }, timeoutMilliseconds)) return {sending->job.load(), false, {}};
    return {sending->job.load(), sending->taken, sending->reason};
}

std::optional<std::uint32_t> Win32Printers::JobStatus(std::u16string_view printer, std::uint32_t job,
                                                      std::u16string& reason) {
    auto answer = std::make_shared<JobAnswer>();
    const std::u16string name(printer);
    if (!RunBounded([answer, name, job] { *answer = AskJob(name, job); }, kAnswerMilliseconds)) {
        reason = u"the print system did not answer within 10 s";
        return std::nullopt;
    }
    reason = answer->reason;
    return answer->status;
}

bool Win32Printers::CancelJob(std::u16string_view printer, std::uint32_t job, std::u16string& reason) {
    struct Outcome {
        bool cancelled = false;
        std::u16string reason;
    };
    auto outcome = std::make_shared<Outcome>();
    const std::u16string name(printer);
    const bool answered = RunBounded(
        [outcome, name, job] {
            const OpenedPrinter opened(name, outcome->reason);
            if (!opened.get()) return;
            if (!opened.api().SetJobW) {
                outcome->reason = Unavailable();
                return;
            }
            if (opened.api().SetJobW(opened.get(), job, 0, nullptr, JOB_CONTROL_DELETE)) outcome->cancelled = true;
            else outcome->reason = SystemErrorText(::GetLastError());
        },
        kAnswerMilliseconds);
    reason = answered ? outcome->reason : u"the print system did not answer within 10 s";
    return answered && outcome->cancelled;
}

}  // namespace platform
