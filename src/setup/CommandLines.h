// The printer names and the command lines of the Windows printer setup tool
// (rundll32 printui.dll,PrintUIEntry) that install and remove the printer.
#pragma once

#include "setup/Product.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

// The program that runs every command line, taken from the system directory.
inline constexpr std::u16string_view PrinterSetupProgram = u"rundll32.exe";

// The driver store's tool, from the system directory too.
inline constexpr std::u16string_view DriverStoreProgram = u"pnputil.exe";
// Its exit codes that are success: nothing to update, a restart needed.
inline constexpr std::uint32_t kDriverStoreNothingToUpdate = 259;  // ERROR_NO_MORE_ITEMS
inline constexpr std::uint32_t kDriverStoreRestartNeeded = 3010;   // ERROR_SUCCESS_REBOOT_REQUIRED

// How the INF file's path is written: in quotes when it needs them (the
// window), or always in quotes (unattended runs).
enum class InfQuoting { AsNeeded, Always };

// Installs the driver and a printer named PrinterName on `portName` ("COM2:").
// Each command line is the product's: PrinterName, DriverModel and
// DriverInfFile are the one product's today.
std::u16string InstallOnComPortCommandLine(std::u16string_view programDirectory, std::u16string_view portName,
                                           InfQuoting quoting, const Product& product);
// Installs the driver only (USB).
std::u16string InstallDriverOnlyCommandLine(std::u16string_view programDirectory,
                                            InfQuoting quoting, const Product& product);
// Adds the package to the driver store and installs its driver on the
// devices it matches: a USB printer plugged in before the driver was there.
std::u16string AddToDriverStoreCommandLine(std::u16string_view programDirectory, const Product& product);
std::u16string SetDefaultPrinterCommandLine(std::u16string_view printerName);
std::u16string DeletePrinterCommandLine(std::u16string_view printerName);
std::u16string DeleteDriverCommandLine(const Product& product);
// Removes the published INF `publishedName` ("oem5.inf") from the driver
// store, uninstalling it from the devices that use it first.
std::u16string DeletePackageCommandLine(std::u16string_view publishedName);
// Moves an existing printer to `portName`, keeping it (set printer settings).
std::u16string SetPrinterPortCommandLine(std::u16string_view printerName, std::u16string_view portName);

// The INF file's path, in double quotes when it holds a blank or a tab, or always.
std::u16string InfPathArgument(std::u16string_view programDirectory, InfQuoting quoting,
                               const Product& product);
// `commandLine` with the printer setup tool's /q option, which keeps it from
// showing message boxes, when it lacks it: nobody answers them in an
// unattended run.
std::u16string QuietCommandLine(std::u16string_view commandLine);
// `text` in double quotes, escaped so that the command-line parser reads it
// back as exactly `text`.
std::u16string QuotedArgument(std::u16string_view text);

}  // namespace setup
