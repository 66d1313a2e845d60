// The printer software a run installs and removes, as data: the printer it
// makes, the driver and the model, and the driver package's INF file. Today
// one product; a second model is a second row.
#pragma once

#include <string_view>

namespace setup {

inline constexpr std::u16string_view PrinterName = u"KALDO Veltro MiniPrinter";
inline constexpr std::u16string_view DriverModel = u"KALDO QTX_VELTRO";
inline constexpr std::u16string_view DriverInfFile = u"\\PRT3Q42WD32.inf";

struct Product {
    std::u16string_view printerName;  // the printer made on a COM port
    std::u16string_view driverName;   // the installed driver, as printers name it ("Printer Driver")
    std::u16string_view infFile;      // appended to the package folder, leading backslash included
    std::u16string_view model;        // the model the INF lists, installed as the driver of that name

    // The INF file's name alone: "PRT3Q42WD32.inf".
    std::u16string_view InfName() const { return infFile.substr(1); }
};

inline constexpr Product kVeltro{PrinterName, DriverModel, DriverInfFile, DriverModel};
// The products PortSetup knows: the programs set up the first.
inline constexpr Product kProducts[] = {kVeltro};

}  // namespace setup
