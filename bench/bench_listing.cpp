// The removal's own work, without starting anything: list the printers and
// read each one's "Printer Driver" value, as the removal does. Prints the
// median of several rounds, to show how it grows with the number of printers.
#include "modules/modRegedit.h"
#include "platform/Win32Seams.h"
#include "platform/Win32Registry.h"
#include "setup/CommandLines.h"
#include "setup/Workflows.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

int main() {
    platform::Win32Printers printSystem;
    platform::Win32Registry registry;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    auto now = [&] {
        LARGE_INTEGER t;
        ::QueryPerformanceCounter(&t);
        return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    };
    std::vector<double> listing, reading;
    std::size_t printers = 0, matches = 0;
    for (int round = 0; round < 7; ++round) {
        const double t0 = now();
        const auto names = printSystem.ListPrinters().names;
        const double t1 = now();
        matches = 0;
        for (const auto& name : names) {
            std::u16string driver;
            modRegedit::RegGetString(registry, platform::kHkeyLocalMachine, std::u16string(setup::kPrintersKeyPrefix) + name,
                                     u"Printer Driver", driver);
            if (driver == setup::DriverModel) ++matches;
        }
        const double t2 = now();
        listing.push_back(t1 - t0);
        reading.push_back(t2 - t1);
        printers = names.size();
    }
    const double firstList = listing[0], firstReads = reading[0];
    std::sort(listing.begin(), listing.end());
    std::sort(reading.begin(), reading.end());
    std::printf("printers %zu matching %zu list_ms %.2f reads_ms %.2f first_list_ms %.2f first_reads_ms %.2f\n", printers,
                matches, listing[3], reading[3], firstList, firstReads);
    return 0;
}
