#include "setup/RunEvents.h"

#include "setup/ExitCodes.h"
#include "setup/Text.h"

#include <algorithm>

namespace setup {

std::uint32_t EventIdOf(const RunRecord& record) {
    std::uint32_t succeeded = kEventInstallSucceeded;
    switch (record.command) {
    case RunCommand::Install: succeeded = kEventInstallSucceeded; break;
    case RunCommand::Repair: succeeded = kEventRepairSucceeded; break;
    case RunCommand::Remove: succeeded = kEventRemoveSucceeded; break;
    case RunCommand::SetDefault: succeeded = kEventSetDefaultSucceeded; break;
    case RunCommand::Delete: succeeded = kEventDeleteSucceeded; break;
    case RunCommand::TestPrint: succeeded = kEventTestPrintSucceeded; break;
    }
    return Succeeded(record.exitCode) ? succeeded : succeeded + 1;
}

namespace {

// What ShownEscaped names, shown as <CR>, <LF>, <TAB> or <U+XXXX>, so that
// no text can start a line of its own, or turn one around, in the event; a reason's own line breaks
// (`continued`) become indented lines, which cannot either. A "%%" is shown
// as <U+0025>%: Event Viewer would put a parameter message in its place.
std::u16string Escaped(std::u16string_view text, bool continued = false) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (continued && (c == u'\n' || (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n'))) {
            if (c == u'\r') ++i;
            shown += u"\r\n  ";
        } else if (c == u'\r') shown += u"<CR>";
        else if (c == u'\n') shown += u"<LF>";
        else if (c == u'\t') shown += u"<TAB>";
        else if (c == u'%' && i + 1 < text.size() && text[i + 1] == u'%') shown += u"<U+0025>";
        else if (ShownEscaped(c))
            shown += std::u16string(u"<U+") + kHex[c >> 12] + kHex[(c >> 8) & 15] + kHex[(c >> 4) & 15] + kHex[c & 15] + u">";
        else shown += c;
    }
    return shown;
}

}  // namespace

std::u16string EventTextOf(const RunRecord& record) {
    std::u16string text = std::u16string(u"Verdict: ") + (Succeeded(record.exitCode) ? u"done" : u"failed") +
                          u"\r\nExit code: " + Number(static_cast<std::uint32_t>(record.exitCode));
    if (!record.reason.empty()) text += u"\r\nReason: " + Escaped(record.reason, true);
    for (const auto& warning : record.warnings) text += u"\r\nWarning: " + Escaped(warning, true);
    for (const auto& removed : record.removed) text += u"\r\nRemoved: " + Escaped(removed, true);
    if (!record.logPath.empty()) text += u"\r\nLog: " + Escaped(record.logPath);
    // Only the command line gives way when the text would be too long.
    static constexpr std::u16string_view kShortened = u" ... (shortened)";
    std::u16string command = Escaped(record.commandLine);
    const std::size_t room = kEventTextLimit - std::min(kEventTextLimit, text.size() + 11 + kShortened.size());
    if (command.size() > room + kShortened.size()) command = command.substr(0, room) + std::u16string(kShortened);
    return text + u"\r\nCommand: " + command;
}

void ReportRun(platform::EventLog& events, const RunRecord& record) {
    events.WriteEventLog(Succeeded(record.exitCode) ? platform::EventType::Information : platform::EventType::Error,
                         EventIdOf(record), EventTextOf(record));
}

}  // namespace setup
