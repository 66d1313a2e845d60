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

namespace {

constexpr std::uint32_t kJobDeletedBits = 0x0004 | 0x0100;  // being deleted, deleted

// The job is still queued (or still being handed over) at the time limit:
// deleted from the queue, so that it does not print later when nobody waits
// for it, and the verdict names its status and the port's settings, the
// usual causes.
Verdict StillQueued(TestPrintResult& result, std::uint32_t timeoutMilliseconds, Services& s) {
    std::u16string reason;
    const bool cancelled = s.printers.CancelJob(result.printer, result.job, reason);
    return {kExitTimedOut, u"Job " + Number(result.job) + u" is still queued after " + Number(timeoutMilliseconds / 1000) +
                               u" s (" + result.jobStatus + u"); the port is " + result.port +
                               u": check the cable, that the printer is on and has paper, and that its line settings "
                               u"match. " +
                               (cancelled ? u"The job was deleted from the queue."
                                          : u"The job could not be deleted from the queue: " + reason)};
}

}  // namespace

TestPrintResult TestPrint(std::uint32_t timeoutMilliseconds, Services s) {
    TestPrintResult result;
    const std::uint64_t startedAt = s.machine.Milliseconds();
    const OurPrinterLookup ours = FindOurPrinter(s.printers, s.product, &s.machine);
    if (!ours.asked) {
        result.verdict = Failed(u"The print system could not be asked for the printer " + Quoted(s.product.printerName) +
                                u": " + ours.reason);
        return result;
    }
    if (!ours.printer) {
        result.verdict = {kExitNoPrinter, NoPrinterOfOurs(ours, s.product) + u"."};
        return result;
    }
    result.printer = ours.printer->name;
    if (!ours.note.empty()) s.journal.Step(u"found: " + ours.note);
    result.port = PortText(ours.printer->port, s);
    const std::u16string page = u"PortSetup test print\r\nPrinter: " + result.printer + u"\r\nPort: " + result.port +
                                u"\r\nTime: " + s.machine.LocalTimestamp() + u"\r\n\r\n\r\n\r\n";
    // The time limit holds for the whole run: the lookup above took its share.
    const std::uint64_t spent = s.machine.Milliseconds() - startedAt;
    const std::uint32_t left = spent >= timeoutMilliseconds ? 1u : static_cast<std::uint32_t>(timeoutMilliseconds - spent);
    const platform::SentJob sent = s.printers.PrintRaw(result.printer, u"PortSetup test print", Utf8(page), left);
    result.job = sent.id;
    if (!sent.taken && !(sent.id != 0 && sent.reason.empty())) {
        result.verdict = {kExitPageNotSent, u"The test page could not be sent to " + Quoted(result.printer) + u": " +
                                                (sent.reason.empty() ? u"no job was started" : sent.reason)};
        return result;
    }
    if (!sent.taken) {
        // The print system still takes the page at the time limit: its port
        // does not take the data.
        result.jobStatus = u"being sent to the port";
        result.verdict = StillQueued(result, timeoutMilliseconds, s);
        return result;
    }
    s.journal.Step(u"sent: the test page, job " + Number(result.job) + u" on " + result.port);
    std::uint32_t last = 0;
    result.jobStatus = JobStatusText(last);
    for (;;) {
        std::u16string reason;
        const auto status = s.printers.JobStatus(result.printer, result.job, reason);
        if (!status) {
            if (!reason.empty())
                result.verdict = Failed(u"The print queue could not be asked about job " + Number(result.job) + u": " + reason);
            else if (last & kJobDeletedBits)
                result.verdict = {kExitPrintCancelled, u"Job " + Number(result.job) + u" was deleted before it printed."};
            else {
                result.printed = true;
                s.journal.Step(u"printed: job " + Number(result.job) + u" left the queue");
            }
            return result;
        }
        last = *status;
        result.jobStatus = JobStatusText(last);
        if (s.machine.Milliseconds() - startedAt >= timeoutMilliseconds) break;
        s.processes.Sleep(500);
    }
    result.verdict = StillQueued(result, timeoutMilliseconds, s);
    return result;
}

}  // namespace setup
