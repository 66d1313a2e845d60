#include "setup/CommandLines.h"

namespace setup {

namespace {
constexpr std::u16string_view kPrintUi = u"rundll32 printui.dll,PrintUIEntry";

std::u16string Plain(std::u16string_view a, std::u16string_view b = {}, std::u16string_view c = {},
                     std::u16string_view d = {}) {
    std::u16string s(a);
    s.append(b).append(c).append(d);
    return s;
}
}  // namespace

std::u16string QuotedArgument(std::u16string_view text) {
    // Backslashes count only right before a quote: there they are doubled, and
    // the quote itself is escaped. The closing quote counts too.
    std::u16string quoted = u"\"";
    std::size_t backslashes = 0;
    for (char16_t c : text) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            quoted.append(backslashes * 2 + 1, u'\\');
        } else {
            quoted.append(backslashes, u'\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, u'\\');
    quoted.push_back(u'"');
    return quoted;
}

std::u16string InfPathArgument(std::u16string_view programDirectory, InfQuoting quoting, const Product& product) {
    std::u16string path = Plain(programDirectory, product.infFile);
    if (quoting == InfQuoting::Always) return QuotedArgument(path);
    if (path.find_first_of(u" \t") == std::u16string::npos) return path;
    return u"\"" + path + u"\"";
}

std::u16string QuietCommandLine(std::u16string_view commandLine) {
    const std::u16string prefix = Plain(kPrintUi, u" ");
    std::u16string line(commandLine);
    if (line.rfind(prefix, 0) != 0 || line.compare(prefix.size(), 3, u"/q ") == 0) return line;
    return line.insert(prefix.size(), u"/q ");
}

std::u16string InstallOnComPortCommandLine(std::u16string_view programDirectory, std::u16string_view portName,
                                           InfQuoting quoting, const Product& product) {
    return Plain(kPrintUi, u" /if /b \"", product.printerName, u"\" /f ") +
           InfPathArgument(programDirectory, quoting, product) + Plain(u" /r \"", portName, u"\" /m \"", product.model) +
           u"\"";
}

std::u16string InstallDriverOnlyCommandLine(std::u16string_view programDirectory, InfQuoting quoting,
                                            const Product& product) {
    return Plain(kPrintUi, u" /ia /f ") + InfPathArgument(programDirectory, quoting, product) +
           Plain(u" /m \"", product.model, u"\"");
}

std::u16string AddToDriverStoreCommandLine(std::u16string_view programDirectory, const Product& product) {
    return u"pnputil /add-driver " + InfPathArgument(programDirectory, InfQuoting::Always, product) + u" /install";
}

std::u16string SetDefaultPrinterCommandLine(std::u16string_view printerName) {
    return Plain(kPrintUi, u" /q /y /n ") + QuotedArgument(printerName);
}

std::u16string DeletePrinterCommandLine(std::u16string_view printerName) {
    return Plain(kPrintUi, u" /dl /n ") + QuotedArgument(printerName);
}

std::u16string SetPrinterPortCommandLine(std::u16string_view printerName, std::u16string_view portName) {
    return Plain(kPrintUi, u" /q /Xs /n ") + QuotedArgument(printerName) + u" PortName " + QuotedArgument(portName);
}

std::u16string DeleteDriverCommandLine(const Product& product) {
    return Plain(kPrintUi, u" /q /dd /m \"", product.driverName, u"\"");
}

std::u16string DeletePackageCommandLine(std::u16string_view publishedName) {
    return u"pnputil /delete-driver " + std::u16string(publishedName) + u" /uninstall";
}

}  // namespace setup
