#include "platform/Win32Seams.h"

#include <algorithm>
#include <string>

namespace platform {

bool Win32EventLog::WriteEventLog(EventType type, std::uint32_t eventId, std::u16string_view text) {
    const EventSourceHandle source(::RegisterEventSourceW(nullptr, L"PortSetup"));
    if (!source) return false;
    // One insertion string holds at most 31,839 characters.
    const std::wstring insertion(reinterpret_cast<const wchar_t*>(text.data()), std::min<std::size_t>(text.size(), 31000));
    const wchar_t* strings[] = {insertion.c_str()};
    return ::ReportEventW(source.get(),
                          type == EventType::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0, eventId,
                          nullptr, 1, 0, strings, nullptr) != FALSE;
}

}  // namespace platform
