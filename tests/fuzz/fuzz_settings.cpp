// The settings text: validation accepts exactly the texts that some choice of
// the window's five lists produces.
#include "FuzzText.h"
#include "cli/Arguments.h"
#include "setup/SerialSettings.h"

#include <set>

namespace {

// Every settings text of the lists, as the window composes it.
std::set<std::u16string> AllListTexts() {
    const auto& lists = setup::SerialLists();
    std::set<std::u16string> texts;
    for (const auto& speed : lists[0].entries)
        for (const auto& parity : lists[2].entries)
            for (const auto& dataBits : lists[1].entries)
                for (const auto& stopBits : lists[3].entries)
                    for (const auto& flow : lists[4].entries)
                        texts.insert(speed.code + u"," + parity.code + u"," + dataBits.code + u"," + stopBits.code +
                                     flow.code);
    return texts;
}

const std::set<std::u16string>& ListTexts() {
    static const std::set<std::u16string> texts = [] {
        auto all = AllListTexts();
        std::u16string error;
        for (const auto& text : all)
            if (!setup::ValidPortSettings(text, error)) fuzz::Broken("every list text is accepted");
        return all;
    }();
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Bytes as Latin-1 text: the fields are ASCII, and short inputs reach them sooner.
    std::u16string text(data, data + size);
    std::u16string error;
    const bool accepted = setup::ValidPortSettings(text, error);
    if (accepted != (ListTexts().count(text) != 0)) fuzz::Broken("accepted exactly when the lists can produce it");
    if (!accepted && error.empty()) fuzz::Broken("a refusal says why");
    return 0;
}
