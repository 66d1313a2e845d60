// The platform services on Windows.
#pragma once

#include "platform/Platform.h"
#include "platform/Win32Handles.h"

namespace platform {

class Win32Platform : public Platform {
public:
    TwipSize ScreenSize() override;
    std::u16string CommandLineArguments() override;
    std::u16string ProgramDirectory() override;
    StartResult RunDetached(std::u16string_view systemProgram, std::u16string_view commandLine) override;
    WaitResult WaitForProcesses(const std::vector<StartedProcess>& processes,
                                std::uint32_t timeoutMilliseconds) override;
    NameList ListPrinters() override;
    NameList ListPrinterDrivers() override;
    void Sleep(std::uint32_t milliseconds) override;
    bool WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) override;

private:
    ModuleHandle winspool_;
    bool quitSeen_ = false;  // a WM_QUIT met while waiting, to be posted again
    int quitCode_ = 0;
};

// What the seam's StartedProcess holds on Windows.
struct Win32Process : StartedProcess::Handle {
    explicit Win32Process(HANDLE h) : process(h) {}
    KernelHandle process;
};

// A listing through a winspool Enum... function. The print system does the
// whole listing's work for each call, also for one that only asks the size:
// the first call gets a buffer that holds a thousand printers' details, so
// that one call is the rule; a listing that does not fit is asked again with
// the size the print system names (again if entries were added meanwhile).
inline constexpr std::size_t kFirstListingBytes = std::size_t{1} << 20;
template <typename Enumerate>
bool EnumerateInto(Enumerate&& enumerate, std::vector<BYTE>& buffer, DWORD& count, DWORD& error) {
    if (buffer.empty()) buffer.resize(kFirstListingBytes);
    DWORD needed = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        count = 0;
        if (enumerate(buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count))
            return true;
        error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) return false;
        buffer.resize(needed);
    }
    return false;
}

// An exported function of winspool.drv, loaded into `module` from the system
// directory on first use; null when either cannot be had.
void* WinspoolFunction(ModuleHandle& module, const char* name);

// Dots per inch of the primary screen.
unsigned ScreenDpi();

// Restricts the process's DLL search to the system directory, for DLLs loaded
// at run time; the program runs elevated from folders a user can write to.
void RestrictDllSearchToSystem();

// Loads a DLL from the system directory only.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace platform
