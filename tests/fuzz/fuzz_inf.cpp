// The INF reader, which reads a driver package's text before anything has
// decided whether the package is trusted: it takes any bytes, says the same
// of an ASCII text whether it comes as ANSI or as UTF-16 with its byte order
// mark, and never hands on a line break inside a value.
#include "FuzzText.h"
#include "setup/PreChecks.h"

#include <string_view>

namespace {

bool HasLineBreak(const std::u16string& text) { return text.find_first_of(u"\r\n") != std::u16string::npos; }

void CheckFacts(const setup::InfFacts& facts) {
    if (facts.listsModel && !facts.hasProcessorSection) fuzz::Broken("a model is listed only in a models section");
    if (HasLineBreak(facts.catalog) || HasLineBreak(facts.driverVer)) fuzz::Broken("no value holds a line break");
    for (const auto& file : facts.files)
        if (HasLineBreak(file)) fuzz::Broken("no file name holds a line break");
    if (setup::PlainFileName(facts.catalog) && facts.catalog.find_first_of(u"\\/:") != std::u16string::npos)
        fuzz::Broken("a plain file name names no folder or drive");
}

bool Same(const setup::InfFacts& a, const setup::InfFacts& b) {
    return a.catalog == b.catalog && a.driverVer == b.driverVer && a.hasProcessorSection == b.hasProcessorSection &&
           a.listsModel == b.listsModel && a.decorations == b.decorations && a.files == b.files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const char16_t* processor : {u"amd64", u"x86", u"arm64"}) {
        const setup::InfFacts facts = setup::ReadInf(bytes, processor, u"KALDO QTX_VELTRO");
        CheckFacts(facts);
        // The same text as UTF-16 with its byte order mark, where it is ASCII.
        bool ascii = size > 0;
        for (std::size_t i = 0; i < size; ++i) ascii = ascii && data[i] > 0 && data[i] < 0x80;
        if (!ascii || (size >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")) continue;
        std::string wide = "\xFF\xFE";
        for (char c : bytes) {
            wide += c;
            wide += '\0';
        }
        if (!Same(facts, setup::ReadInf(wide, processor, u"KALDO QTX_VELTRO")))
            fuzz::Broken("ANSI and UTF-16 read alike");
    }
    return 0;
}
