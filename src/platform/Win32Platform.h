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

private:
    // An exported function of winspool.drv, which is loaded on first use.
    void* WinspoolFunction(const char* name);

    ModuleHandle winspool_;
    bool quitSeen_ = false;  // a WM_QUIT met while waiting, to be posted again
    int quitCode_ = 0;
};

// Dots per inch of the primary screen.
unsigned ScreenDpi();

// Restricts the process's DLL search to the system directory, for DLLs loaded
// at run time; the program runs elevated from folders a user can write to.
void RestrictDllSearchToSystem();

// Loads a DLL from the system directory only.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace platform
