// The argument text and program folder rules, on any command line and any
// module path: they never crash, the arguments are a tail of the line, and
// the folder never ends in a separator and is a head of the path.
#include "FuzzText.h"
#include "platform/CommandLineText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = fuzz::Utf16(data, size);
    const std::u16string arguments = platform::ArgumentsOf(text);
    if (arguments.size() > text.size() || text.compare(text.size() - arguments.size(), arguments.size(), arguments) != 0)
        fuzz::Broken("arguments are the end of the command line");
    if (!arguments.empty() && (arguments.front() == u' ' || arguments.front() == u'\t'))
        fuzz::Broken("arguments start after the blanks");
    const std::u16string folder = platform::DirectoryOf(text);
    if (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) fuzz::Broken("folder ends in a separator");
    if (text.compare(0, folder.size(), folder) != 0) fuzz::Broken("folder is the start of the path");
    return 0;
}
