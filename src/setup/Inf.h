// What a driver package's INF file says: its catalog, its version, the
// models section for a processor and whether it lists a model, and the
// files it names. Read from text anyone may have written, before anything
// decided whether the package is trusted: any bytes are taken.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace setup {

// What an INF file says that the checks need: its catalog, its version, and
// whether its models section for `processor` ("amd64", "x86", ...) lists
// `model`, with the decorations it has.
struct InfFacts {
    std::u16string catalog;    // CatalogFile (for the processor, else plain)
    std::u16string driverVer;  // DriverVer: "06/21/2024,1.2.3.4"
    bool hasProcessorSection = false;
    bool listsModel = false;
    std::vector<std::u16string> decorations;  // of its models sections: "NTamd64", "NTx86"
    // The files it names for the processor ([SourceDisksFiles] and its
    // decorated form), each with the folder its disk names: "amd64\kaldo.dll".
    std::vector<std::u16string> files;
};
// Whether an INF's CatalogFile is a plain file name of the package's own
// folder: no folder, drive or ".." in it.
bool PlainFileName(std::u16string_view name);
// Whether a file an INF names is inside the package: a relative path, no
// drive, no "..".
bool InsidePackage(std::u16string_view path);
// `bytes` as the file holds them: UTF-16 with its byte order mark, UTF-8,
// or ANSI (whose ASCII part is all the checks read).
InfFacts ReadInf(std::string_view bytes, std::u16string_view processor, std::u16string_view model);

}  // namespace setup
