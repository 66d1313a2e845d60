// The seams on Windows, a file or two each: Win32Machine.cpp with
// Win32System.cpp, Win32Printers.cpp, Win32Processes.cpp, Win32Files.cpp
// with Win32FileSecurity.cpp and Win32Locks.cpp, Win32EventLog.cpp (and
// Win32Registry). The window's classes (Win32Machine, Win32PrinterList) hold
// only what it uses.
#pragma once

#include "platform/Seams.h"
#include "platform/Win32Handles.h"

namespace platform {

class Win32Machine : public Machine {
public:
    TwipSize ScreenSize() override;
    std::u16string CommandLineArguments() override;
    std::u16string ProgramDirectory() override;
    std::u16string NativeProcessor() override;
    std::u16string ProgramProcessor() override;
};

// Win32System.cpp: what only unattended runs ask.
class Win32System : public System {
public:
    TwipSize ScreenSize() override { return machine_.ScreenSize(); }
    std::u16string CommandLineArguments() override { return machine_.CommandLineArguments(); }
    std::u16string ProgramDirectory() override { return machine_.ProgramDirectory(); }
    std::u16string NativeProcessor() override { return machine_.NativeProcessor(); }
    std::u16string ProgramProcessor() override { return machine_.ProgramProcessor(); }
    std::u16string ProgramDataDirectory() override;
    NameList ListSerialCommPorts() override;
    // Win32Devices.cpp
    PortDeviceList ListPortDevices() override;
    NameList ListPresentUsbPrintPorts() override;
    bool IsAdministrator() override;
    std::u16string RunningUserSid() override;
    std::u16string RunningAccountName() override;
    std::optional<std::u16string> ComPortBusy(std::u16string_view port) override;
    CatalogTrust CatalogSignature(std::u16string_view catalogPath, const std::vector<std::u16string>& members) override;
    // Win32DriverStore.cpp
    NameList ListPublishedInfs() override;
    std::optional<std::string> PublishedInfBytes(std::u16string_view name, std::uint64_t limit,
                                                 std::u16string& reason) override;
    std::optional<std::u16string> OriginalInfName(std::u16string_view name, std::u16string& reason) override;
    std::uint64_t Milliseconds() override;
    std::u16string LocalTimestamp() override;
    std::uint32_t ThreadId() override { return ::GetCurrentThreadId(); }

private:
    Win32Machine machine_;
};

class Win32Services : public SystemServices {
public:
    ServiceState QueryService(std::u16string_view name) override;
    bool StartAndWait(std::u16string_view name, std::uint32_t timeoutMilliseconds, std::u16string& reason) override;
};

// Dots per inch of the primary screen.
unsigned ScreenDpi();

class Win32PrinterList : public PrinterList {
public:
    NameList ListPrinters() override;
    NameList ListPrinterDrivers() override;
};

class Win32Printers : public Printers {
public:
    NameList ListPrinters() override { return list_.ListPrinters(); }
    NameList ListPrinterDrivers() override { return list_.ListPrinterDrivers(); }
    PrinterLookup FindPrinter(std::u16string_view name) override;
    PrinterInfoList ListPrinterDetails() override;
    PrinterInfoList ListLocalPrinters() override;
    std::u16string DriverVersion(std::u16string_view model) override;
    std::u16string DefaultPrinter() override;
    bool PurgePrintJobs(std::u16string_view printer, std::u16string& reason) override;
    SentJob PrintRaw(std::u16string_view printer, std::u16string_view document, std::string_view bytes,
                     std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> JobStatus(std::u16string_view printer, std::uint32_t job,
                                           std::u16string& reason) override;
    bool CancelJob(std::u16string_view printer, std::uint32_t job, std::u16string& reason) override;

private:
    Win32PrinterList list_;
};

class Win32Processes : public Processes {
public:
    StartResult RunDetached(std::u16string_view systemProgram, std::u16string_view commandLine) override;
    WaitResult WaitForProcesses(const std::vector<StartedProcess>& processes,
                                std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> ExitCodeOf(const StartedProcess& process) override;
    void Sleep(std::uint32_t milliseconds) override;

private:
    bool quitSeen_ = false;  // a WM_QUIT met while waiting, to be posted again
    int quitCode_ = 0;
};

// Files and held folders (Win32Files.cpp), the administrators' lock
// (Win32Locks.cpp); what they share about security, Win32FileSecurity.
class Win32Files : public Files {
public:
    bool FileExists(std::u16string_view path) override;
    std::u16string FullPath(std::u16string_view path) override;
    PathFacts Examine(std::u16string_view path) override;
    Opening OpenFolder(std::u16string_view path) override;
    LockAttempt TakeAdministratorsLock(std::u16string_view name) override;
};

class Win32EventLog : public EventLog {
public:
    bool WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) override;
};

}  // namespace platform
