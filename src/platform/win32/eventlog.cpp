#include "platform/eventlog.h"

#include <windows.h>

namespace plat {

namespace {

// The text as the event log keeps it: UTF-16 from Windows-1250, so that
// Polish letters show whatever the system's code page.
std::wstring Wide(const std::string &text) {
  if (text.empty())
    return std::wstring();
  const int length = MultiByteToWideChar(1250, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0)
    MultiByteToWideChar(1250, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

} // namespace

void WriteSystemEvent(EventType type, uint32_t id, const std::string &text) {
  HANDLE source = RegisterEventSourceW(nullptr, L"Zarvik");
  if (source == nullptr)
    return;
  const WORD kind = type == EventType::kInformation ? EVENTLOG_INFORMATION_TYPE
                    : type == EventType::kWarning   ? EVENTLOG_WARNING_TYPE
                                                    : EVENTLOG_ERROR_TYPE;
  const std::wstring wide = Wide(text);
  LPCWSTR strings[] = {wide.c_str()};
  ReportEventW(source, kind, 0, id, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

} // namespace plat
