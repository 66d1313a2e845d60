// The services of unattended runs on Windows.
#pragma once

#include "platform/System.h"
#include "platform/Win32Handles.h"

namespace platform {

class Win32System : public System {
public:
    PrinterInfoList ListPrinterDetails() override;
    NameList ListSerialCommPorts() override;
    std::u16string DefaultPrinter() override;
    bool PurgePrintJobs(std::u16string_view printer, std::u16string& reason) override;
    std::optional<std::uint32_t> ExitCodeOf(const StartedProcess& process) override;
    std::uint64_t Milliseconds() override;
    std::u16string LocalTimestamp() override;
    bool FileExists(std::u16string_view path) override;
    std::u16string FullPath(std::u16string_view path) override;
    bool IsAdministrator() override;
    std::u16string ProgramDataDirectory() override;
    PathFacts Examine(std::u16string_view path) override;
    std::u16string RunningUserSid() override;
    std::u16string RunningAccountName() override;
    bool CreateFolder(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) override;
    bool SetFolderSecurity(std::u16string_view path, std::u16string_view descriptor, std::u16string& reason) override;
    std::optional<std::vector<std::u16string>> FolderEntries(std::u16string_view path) override;
    LockAttempt TakeLock(std::u16string_view path, std::u16string_view descriptor,
                         std::uint32_t waitMilliseconds) override;
    std::unique_ptr<AppendFile> OpenForAppend(std::u16string_view path, bool createFolders,
                                              std::u16string& reason) override;

private:
    ModuleHandle winspool_;
};

}  // namespace platform
