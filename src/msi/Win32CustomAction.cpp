// PortSetupCa.dll: the MSI's custom actions. RunCli, deferred and not
// impersonated, runs the PortSetupCli command line the package wrote into
// CustomActionData, copies every line it prints into the MSI log, and ends
// as the run did: success; success with a restart at the end (3010); or an
// error message naming the cause and the fix, which the MSI log holds and an
// interactive installation shows. CheckRestart, after InstallFinalize, asks
// for the restart again where Windows Installer did not take it from the
// deferred action. Only system DLLs are imported: kernel32 and msi.
#include "msi/CustomAction.h"
#include "platform/CommandLineText.h"
#include "platform/Win32Api.h"
#include "platform/Win32Handles.h"
#include "platform/Win32Seams.h"
#include "setup/PackageTrust.h"
#include "setup/RunLimits.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::KernelHandle;

// The name a deferred run leaves when Windows must restart; CheckRestart
// takes it back.
constexpr wchar_t kRestartAtom[] = L"PortSetupCa.RestartNeeded";

inline void CloseMsiHandle(MSIHANDLE handle) { ::MsiCloseHandle(handle); }
using MsiRecord = platform::UniqueHandle<MSIHANDLE, CloseMsiHandle, 0>;

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

std::u16string Property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t empty[1] = L"";
    if (::MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return {};
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (::MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
    value.resize(size);
    return std::u16string(value.begin(), value.end());
}

// One message through Windows Installer: an information line for its log,
// or an error (logged, and shown in a message box when there is a user
// interface).
void Say(MSIHANDLE install, INSTALLMESSAGE kind, const std::u16string& text) {
    const MsiRecord record(::MsiCreateRecord(1));
    if (!record) return;
    ::MsiRecordSetStringW(record.get(), 0, L"[1]");
    ::MsiRecordSetStringW(record.get(), 1, Wide(msi::PlainForRecord(text)));
    ::MsiProcessMessage(install, kind, record.get());
}

std::u16string ErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text = length ? std::u16string(buffer, buffer + length) : std::u16string();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
    if (text.empty()) {
        const std::string digits = std::to_string(error);
        text = u"error " + std::u16string(digits.begin(), digits.end());
    }
    return text;
}

// Starts the command with `writer`, the pipe's write end, as its stdout and
// stderr, and nothing else of this process handed down; the process, or
// nothing with `error` set.
std::optional<PROCESS_INFORMATION> Start(const msi::CliCommand& command, HANDLE writer, DWORD& error) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> attributes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    HANDLE inherited = writer;
    const bool listed = ::InitializeProcThreadAttributeList(list, 1, 0, &size) &&
                        ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited,
                                                    sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = writer;
    startup.StartupInfo.hStdError = writer;
    startup.StartupInfo.hStdInput = nullptr;
    startup.lpAttributeList = listed ? list : nullptr;
    std::wstring line(command.commandLine.begin(), command.commandLine.end());
    PROCESS_INFORMATION process{};
    const BOOL created = ::CreateProcessW(Wide(command.program), line.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                          nullptr, &startup.StartupInfo, &process);
    error = ::GetLastError();
    if (listed) ::DeleteProcThreadAttributeList(list);
    if (!created) return std::nullopt;
    return process;
}

// Runs the command with its output in a pipe, each line copied into the MSI
// log as it comes.
msi::CliRun Run(MSIHANDLE install, const msi::CliCommand& command) {
    msi::CliRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        run.startError = ErrorText(::GetLastError());
        return run;
    }
    const KernelHandle reader(readEnd);
    KernelHandle writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    DWORD error = 0;
    const auto process = Start(command, writer.get(), error);
    writer.reset();  // the child holds the only write end: the pipe ends with it
    if (!process) {
        run.startError = ErrorText(error);
        return run;
    }
    run.started = true;
    const KernelHandle processHandle(process->hProcess);
    const KernelHandle thread(process->hThread);
    std::string pending;
    std::size_t said = 0;
    // Each line marked as PortSetupCli's, once (its errors carry the mark already).
    const auto sayLines = [&](bool ended) {
        msi::TakeLines(pending, run.lines, ended);
        for (; said < run.lines.size(); ++said) {
            const std::u16string& text = run.lines[said];
            Say(install, INSTALLMESSAGE_INFO, text.rfind(u"PortSetupCli: ", 0) == 0 ? text : u"PortSetupCli: " + text);
        }
    };
    // What the pipe holds now; false once no writer is left.
    const auto drain = [&] {
        char buffer[4096];
        for (;;) {
            DWORD available = 0;
            if (!::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr)) return false;
            if (available == 0) return true;
            DWORD read = 0;
            if (!::ReadFile(reader.get(), buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) || !read)
                return false;
            pending.append(buffer, read);
        }
    };
    // Read while PortSetupCli runs, and stop when it has ended, taking what
    // is left: a program it left running may hold the pipe's write end for
    // as long as it runs. A run that says nothing for longer than its own
    // limits allow is not waited for.
    const ULONGLONG quietLimit = setup::ReaderLimitMilliseconds(command.timeoutMilliseconds);
    ULONGLONG lastLine = ::GetTickCount64();
    for (;;) {
        const std::size_t before = pending.size() + run.lines.size();
        const bool open = drain();
        sayLines(false);
        if (pending.size() + run.lines.size() != before) lastLine = ::GetTickCount64();
        if (::WaitForSingleObject(processHandle.get(), open ? 50 : 0) == WAIT_OBJECT_0) {
            drain();
            break;
        }
        if (!open) {
            // No writer is left but PortSetupCli runs on: wait for its end alone.
            if (::WaitForSingleObject(processHandle.get(), 50) == WAIT_OBJECT_0) break;
        }
        if (::GetTickCount64() - lastLine > quietLimit) {
            run.gaveUp = true;
            break;
        }
    }
    sayLines(true);
    DWORD exitCode = 0;
    run.exitCodeRead = !run.gaveUp && ::GetExitCodeProcess(processHandle.get(), &exitCode) && exitCode != STILL_ACTIVE;
    run.exitCode = exitCode;
    return run;
}

// PortSetupCli.exe's folder, checked as PortSetupCli checks its own before an
// elevated run: what SYSTEM runs must be out of every other account's reach.
// Why it is not, or nothing.
std::optional<std::u16string> ProgramFolderUnsafe(const msi::CliCommand& command) {
    const std::u16string folder = platform::DirectoryOf(command.program);
    const std::vector<BYTE> user = platform::TokenUserOfProcess();
    const std::u16string self =
        user.empty() ? std::u16string() : platform::SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    platform::Win32Files files;
    const setup::PackageExamination examined = setup::ExaminePackage(files, folder, self);
    if (examined.verdict == setup::PackageExamination::Verdict::Trusted) return std::nullopt;
    return msi::ProgramFolderRefusal(folder, examined.why);
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall RunCli(MSIHANDLE install) {
    try {
        const std::u16string data = Property(install, L"CustomActionData");
        const auto command = msi::ReadCliCommand(data);
        if (!command) {
            Say(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR),
                u"PortSetup's custom action was given no PortSetupCli command line to run; the package is damaged.");
            return ERROR_INSTALL_FAILURE;
        }
        // A restart word an earlier run left in the window station is not
        // this run's: cleared, so that only this run's 3010 asks for one.
        for (int left = 0; left < 64; ++left) {
            const ATOM stale = ::GlobalFindAtomW(kRestartAtom);
            if (!stale) break;
            ::GlobalDeleteAtom(stale);
        }
        if (const auto unsafe = ProgramFolderUnsafe(*command)) {
            Say(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), *unsafe);
            return ERROR_INSTALL_FAILURE;
        }
        Say(install, INSTALLMESSAGE_INFO, u"PortSetup runs: " + command->commandLine);
        const msi::ActionOutcome outcome = msi::JudgeRun(*command, Run(install, *command));
        Say(install, INSTALLMESSAGE_INFO, outcome.summary);
        if (!outcome.succeeded) {
            Say(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), outcome.errorText);
            return ERROR_INSTALL_FAILURE;
        }
        if (outcome.restart) {
            ::MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
            ::GlobalAddAtomW(kRestartAtom);
        }
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_INSTALL_FAILURE;
    }
}

extern "C" __declspec(dllexport) UINT __stdcall CheckRestart(MSIHANDLE install) {
    if (const ATOM atom = ::GlobalFindAtomW(kRestartAtom)) {
        ::GlobalDeleteAtom(atom);
        ::MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    }
    return ERROR_SUCCESS;
}
