#include "setup/TestPrint.h"

#include "setup/Port.h"
#include "setup/SerialSettings.h"
#include "setup/Status.h"
#include "setup/Text.h"

#include <utility>
#include <vector>

namespace setup {

namespace {

// The printer's port as the page and the messages show it: a COM port with
// the line settings stored for it.
std::u16string PortText(const std::u16string& port, Services& s) {
    const auto attached = Port::OfPrinter(port);
    if (!attached || attached->IsUsb()) return port;
    std::u16string settings;
    if (ReadPortSettings(s.registry, port, settings) != platform::kErrorSuccess) settings.clear();
    return port + u" (" + (settings.empty() ? u"no settings stored" : settings) + u")";
}

}  // namespace

std::u16string JobStatusText(std::uint32_t status) {
    static constexpr std::pair<std::uint32_t, std::u16string_view> kNames[] = {
        {0x0001, u"paused"},         {0x0002, u"error"},          {0x0004, u"being deleted"},
        {0x0008, u"spooling"},       {0x0010, u"printing"},       {0x0020, u"offline"},
        {0x0040, u"paper out"},      {0x0080, u"printed"},        {0x0100, u"deleted"},
        {0x0200, u"driver blocked"}, {0x0400, u"needs attention"}, {0x0800, u"restarting"},
        {0x1000, u"complete"},
    };
    std::vector<std::u16string> names;
    for (const auto& [bit, name] : kNames)
        if (status & bit) names.emplace_back(name);
    return names.empty() ? u"waiting" : CommaList(names);
}

Verdict TestPrint(std::uint32_t timeoutMilliseconds, Services s) {
    const std::uint64_t startedAt = s.machine.Milliseconds();
    const OurPrinterLookup ours = FindOurPrinter(s.printers, s.product);
    if (!ours.asked)
        return Failed(u"The print system could not be asked for the printer " + Quoted(s.product.printerName) + u": " + ours.reason);
    if (!ours.printer) return Failed(NoPrinterOfOurs(ours, s.product) + u".");
    const std::u16string name = ours.printer->name;
    if (!ours.note.empty()) s.journal.Step(u"found: " + ours.note);
    const std::u16string portText = PortText(ours.printer->port, s);
    const std::u16string page = u"PortSetup test print\r\nPrinter: " + name + u"\r\nPort: " +
                                portText + u"\r\nTime: " + s.machine.LocalTimestamp() + u"\r\n\r\n\r\n\r\n";
    std::u16string reason;
    const std::uint32_t job = s.printers.PrintRaw(name, u"PortSetup test print", Utf8(page), reason);
    if (job == 0) return Failed(u"The test page could not be sent to " + Quoted(name) + u": " + reason);
    s.journal.Step(u"sent: the test page, job " + Number(job) + u" on " + portText);
    std::uint32_t last = 0;
    for (;;) {
        const auto status = s.printers.JobStatus(name, job, reason);
        if (!status) {
            if (!reason.empty()) return Failed(u"The print queue could not be asked about job " + Number(job) + u": " + reason);
            if (last & 0x0104) return Failed(u"Job " + Number(job) + u" was deleted before it printed.");
            s.journal.Step(u"printed: job " + Number(job) + u" left the queue");
            return {};
        }
        last = *status;
        if (s.machine.Milliseconds() - startedAt >= timeoutMilliseconds) break;
        s.processes.Sleep(500);
    }
    return Failed(u"Job " + Number(job) + u" is still queued after " + Number(timeoutMilliseconds / 1000) +
                  u" s (" + JobStatusText(last) + u"); the port is " + portText +
                  u": check the cable, that the printer is on and has paper, and that its line settings match.");
}

}  // namespace setup
