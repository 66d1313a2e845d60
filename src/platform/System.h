// The machine services an unattended run needs besides the window's: the
// printers with their drivers and ports, the default printer, exit codes, a
// clock, the log's files, the caller's rights and a machine-wide single-run
// claim. Only the console program uses them.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One printer as the print system reports it, in Unicode.
struct PrinterInfo {
    std::u16string name;
    std::u16string port;
    std::u16string driver;
};

struct PrinterInfoList {
    bool listed = false;
    std::vector<PrinterInfo> printers;
    std::u16string reason;  // when not listed
};

class System {
public:
    virtual ~System() = default;

    // Each printer with its port and driver, in the print system's order.
    virtual PrinterInfoList ListPrinterDetails() = 0;
    // The running user's default printer; empty when there is none.
    virtual std::u16string DefaultPrinter() = 0;
    // The exit code of a process that has ended.
    virtual std::optional<std::uint32_t> ExitCodeOf(const StartedProcess& process) = 0;
    // A clock for durations, in milliseconds.
    virtual std::uint64_t Milliseconds() = 0;
    // The local time in ISO 8601 with its offset, e.g. 2026-12-08T11:22:33+01:00.
    virtual std::u16string LocalTimestamp() = 0;
    virtual bool FileExists(std::u16string_view path) = 0;
    // `path` made absolute against the current folder.
    virtual std::u16string FullPath(std::u16string_view path) = 0;
    // Whether the program runs with administrator rights (elevated).
    virtual bool IsAdministrator() = 0;
    // Claims, for as long as the program runs, that it is the one unattended
    // run on this machine; false when another run holds the claim.
    virtual bool ClaimSingleRun() = 0;
    // The machine's folder for program data (%ProgramData%).
    virtual std::u16string ProgramDataDirectory() = 0;
    // Files, for the log: the size (nothing when missing); appending, with
    // the folders created as needed; renaming `from` to `to`, replacing it.
    virtual std::optional<std::uint64_t> FileSize(std::u16string_view path) = 0;
    virtual bool AppendToFile(std::u16string_view path, std::string_view bytes, std::u16string& reason) = 0;
    virtual bool RenameReplacing(std::u16string_view from, std::u16string_view to) = 0;
};

}  // namespace platform
