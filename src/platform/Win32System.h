// The services of unattended runs on Windows.
#pragma once

#include "platform/System.h"
#include "platform/Win32Handles.h"

namespace platform {

class Win32System : public System {
public:
    PrinterInfoList ListPrinterDetails() override;
    std::u16string DefaultPrinter() override;
    std::optional<std::uint32_t> ExitCodeOf(const StartedProcess& process) override;
    std::uint64_t Milliseconds() override;
    std::u16string LocalTimestamp() override;
    bool FileExists(std::u16string_view path) override;
    std::u16string FullPath(std::u16string_view path) override;
    bool IsAdministrator() override;
    bool ClaimSingleRun() override;
    std::u16string ProgramDataDirectory() override;
    std::optional<std::uint64_t> FileSize(std::u16string_view path) override;
    bool AppendToFile(std::u16string_view path, std::string_view bytes, std::u16string& reason) override;
    bool RenameReplacing(std::u16string_view from, std::u16string_view to) override;

private:
    ModuleHandle winspool_;
    KernelHandle singleRun_;
};

}  // namespace platform
