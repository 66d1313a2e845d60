#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace platform {

namespace {

// What the seam's StartedProcess holds on Windows.
struct Win32Process : StartedProcess::Handle {
    explicit Win32Process(HANDLE h) : process(h) {}
    KernelHandle process;
};

HANDLE ProcessHandle(const StartedProcess& process) { return static_cast<const Win32Process*>(process.get())->process.get(); }

// Handles the window's messages that are waiting; false after WM_QUIT, which
// the caller posts again once it has finished waiting.
bool PumpMessages(int& quitCode) {
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

// The null device, opened to be handed down: the standard handles of every
// program started. Without handles of its own, a console program that shares
// the caller's console (pnputil) gets the caller's: inside the MSI, the
// custom action's pipe, which its reader would then wait on for as long as
// that program, or any child of it, runs.
KernelHandle OpenNullDevice() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr);
    return KernelHandle(nul == INVALID_HANDLE_VALUE ? nullptr : nul);
}

// The list of the one handle the started program may inherit; false where
// the system cannot make it (then no handle is inherited at all).
class InheritOnly {
public:
    explicit InheritOnly(HANDLE handle) : handle_(handle) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buffer_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
        made_ = size && ::InitializeProcThreadAttributeList(list_, 1, 0, &size);
        listed_ = made_ && ::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_,
                                                       sizeof handle_, nullptr, nullptr);
    }
    ~InheritOnly() {
        if (made_) ::DeleteProcThreadAttributeList(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return listed_ ? list_ : nullptr; }

private:
    HANDLE handle_;
    std::vector<unsigned char> buffer_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    bool made_ = false;
    bool listed_ = false;
};

}  // namespace

StartResult Win32Processes::RunDetached(std::u16string_view systemProgram, std::u16string_view commandLine) {
    // Started in the system folder, never in the caller's current folder,
    // which a user may be able to write to.
    const std::u16string systemFolder = SystemDirectory();
    const std::u16string application = systemFolder + u"\\" + std::u16string(systemProgram);
    std::u16string mutableLine(commandLine);  // CreateProcessW may write to it
    // Its standard handles are the null device's, and nothing else of this
    // process is handed down.
    const KernelHandle nul = OpenNullDevice();
    const InheritOnly inherit(nul.get());
    const bool handsDown = nul && inherit.List();
    STARTUPINFOEXW startupEx{};
    STARTUPINFOW& startup = startupEx.StartupInfo;
    startup.cb = handsDown ? sizeof startupEx : sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | (handsDown ? STARTF_USESTDHANDLES : 0);
    startup.wShowWindow = SW_SHOWMINIMIZED;
    if (handsDown) {
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
        startupEx.lpAttributeList = inherit.List();
    }
    PROCESS_INFORMATION process{};
    // A start that fails for want of resources while many are being started
    // is tried again a little later; a missing program is reported at once.
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessW(Wide(application), reinterpret_cast<wchar_t*>(mutableLine.data()), nullptr, nullptr,
                             handsDown, handsDown ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr, Wide(systemFolder),
                             &startup, &process))
            break;
        const DWORD error = ::GetLastError();
        const bool permanent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                               error == ERROR_ACCESS_DENIED || error == ERROR_BAD_EXE_FORMAT;
        if (permanent || attempt == 3) return {false, error, SystemErrorText(error), {}};
        ::Sleep(100 * attempt);
        mutableLine.assign(commandLine);
    }
    const KernelHandle threadHandle(process.hThread);
    return {true, 0, {}, StartedProcess(std::make_unique<Win32Process>(process.hProcess))};
}

WaitResult Win32Processes::WaitForProcesses(const std::vector<StartedProcess>& processes,
                                            std::uint32_t timeoutMilliseconds) {
    std::vector<HANDLE> pending;
    pending.reserve(processes.size());
    for (const StartedProcess& p : processes)
        if (p) pending.push_back(ProcessHandle(p));

    const ULONGLONG deadline = ::GetTickCount64() + timeoutMilliseconds;
    WaitResult result = WaitResult::AllEnded;
    // One wait takes at most 63 handles besides the message queue: wait on the
    // first ones, and put the last in the place of each one that has ended.
    while (!pending.empty()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            result = WaitResult::TimedOut;
            break;
        }
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(pending.size(), MAXIMUM_WAIT_OBJECTS - 1));
        const DWORD timeout = static_cast<DWORD>(deadline - now);
        const DWORD woken = quitSeen_ ? ::WaitForMultipleObjects(count, pending.data(), FALSE, timeout)
                                      : ::MsgWaitForMultipleObjectsEx(count, pending.data(), timeout, QS_ALLINPUT,
                                                                      MWMO_INPUTAVAILABLE);
        if (woken < WAIT_OBJECT_0 + count) {
            pending[woken - WAIT_OBJECT_0] = pending.back();
            pending.pop_back();
        } else if (woken == WAIT_OBJECT_0 + count && !quitSeen_) {
            quitSeen_ = !PumpMessages(quitCode_);
        } else if (woken == WAIT_FAILED) {
            // A handle that cannot be waited for: treat the rest one by one.
            const HANDLE first = pending.front();
            if (::WaitForSingleObject(first, 0) != WAIT_TIMEOUT) {
                pending.front() = pending.back();
                pending.pop_back();
            } else {
                ::Sleep(10);
            }
        }
    }
    if (quitSeen_) {
        ::PostQuitMessage(quitCode_);
        quitSeen_ = false;
    }
    return result;
}

std::optional<std::uint32_t> Win32Processes::ExitCodeOf(const StartedProcess& process) {
    if (!process) return std::nullopt;
    DWORD code = 0;
    if (!::GetExitCodeProcess(ProcessHandle(process), &code)) return std::nullopt;
    return code;
}

void Win32Processes::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform
