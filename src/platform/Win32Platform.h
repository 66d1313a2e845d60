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
    std::vector<std::u16string> ListPrinters() override;
    void Sleep(std::uint32_t milliseconds) override;

private:
    ModuleHandle winspool_;
};

// Dots per inch of the primary screen.
unsigned ScreenDpi();

// Restricts the process's DLL search to the system directory, for DLLs loaded
// at run time; the program runs elevated from folders a user can write to.
void RestrictDllSearchToSystem();

// Loads a DLL from the system directory only.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace platform
