#include "platform/Win32Api.h"
#include "platform/Win32Seams.h"

#include <algorithm>
#include <string>
#include <vector>

namespace platform {

bool Win32EventLog::WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) {
    const EventSourceHandle source(::RegisterEventSourceW(nullptr, L"PortSetup"));
    if (!source) return false;
    // One insertion string holds at most 31,839 characters.
    const std::wstring insertion(reinterpret_cast<const wchar_t*>(text.data()), std::min<std::size_t>(text.size(), 31000));
    const wchar_t* strings[] = {insertion.c_str()};
    // The account the run ran as, so that a user's runs can be told from SYSTEM's.
    const std::vector<BYTE> user = TokenUserOfProcess();
    PSID sid = user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    return ::ReportEventW(source.get(),
                          type == EventType::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0, eventId,
                          sid, 1, 0, strings, nullptr) != FALSE;
}

}  // namespace platform
