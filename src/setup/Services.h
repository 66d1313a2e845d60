// What an unattended run works with: the machine's services, the run's
// journal, and the product it sets up.
#pragma once

#include "platform/Seams.h"
#include "setup/Product.h"
#include "setup/Verdict.h"

namespace setup {

struct Services {
    Services(const platform::Seams& seams, Journal& journal, const Product& product)
        : machine(seams.machine), printers(seams.printers), processes(seams.processes), files(seams.files),
          registry(seams.registry), journal(journal), product(product) {}
    platform::System& machine;
    platform::Printers& printers;
    platform::Processes& processes;
    platform::Files& files;
    platform::AnsiRegistry& registry;
    Journal& journal;
    const Product& product;
};

}  // namespace setup
