// A stop on Windows: the console's control events (SetConsoleCtrlHandler)
// and, since a program that loads user32 gets no logoff or shutdown event
// through that handler, WM_ENDSESSION at a hidden window of its own thread.
// The handlers store the event and set a manual-reset event object that the
// run's waits watch; the transfer loops read the atomic.
#include "platform/stop.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace plat {
namespace {

// WM_ENDSESSION's own code among the control types, which it does not meet.
constexpr DWORD kEndSession = WM_ENDSESSION;
constexpr DWORD kNone = 0xFFFFFFFFu;

std::atomic<DWORD> stopEvent{kNone};
HANDLE wake = nullptr;
// Set once the hidden window exists (or could not be made).
HANDLE windowReady = nullptr;
std::atomic<HWND> sessionWindow{nullptr};

void Note(DWORD event) {
  DWORD none = kNone;
  stopEvent.compare_exchange_strong(none, event);
  if (wake != nullptr)
    SetEvent(wake);
}

// The process ends when the handler returns: hold it until the run's own
// exit ends it, or the system's time for the event runs out.
[[noreturn]] void Hold() {
  for (;;)
    Sleep(INFINITE);
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
  Note(type);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
    Hold();
  // Ctrl+C and Ctrl+Break: handled, the process goes on to its end.
  return TRUE;
}

LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION)
    return TRUE;
  if (message == WM_ENDSESSION && wParam != FALSE) {
    Note(kEndSession);
    Hold();
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void SessionWindowThread() {
  WNDCLASSW type{};
  type.lpfnWndProc = OnSessionMessage;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"ZarvikSession";
  RegisterClassW(&type);
  // A top-level window that is never shown: the session's end is broadcast
  // to top-level windows only (a message-only window would not hear it).
  HWND window = CreateWindowExW(0, type.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                type.hInstance, nullptr);
  sessionWindow.store(window);
  SetEvent(windowReady);
  if (window == nullptr)
    return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0)
    DispatchMessageW(&message);
}

} // namespace

void ListenForStop() {
  if (wake != nullptr)
    return;
  wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  windowReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  try {
    std::thread(SessionWindowThread).detach();
  } catch (...) {
    // No thread: the console events still stop the run.
  }
}

bool StopRequested() { return stopEvent.load() != kNone; }

std::string StopName() {
  switch (stopEvent.load()) {
  case kNone:
    return std::string();
  case CTRL_C_EVENT:
    return "CTRL_C_EVENT";
  case CTRL_BREAK_EVENT:
    return "CTRL_BREAK_EVENT";
  case CTRL_CLOSE_EVENT:
    return "CTRL_CLOSE_EVENT";
  case CTRL_LOGOFF_EVENT:
    return "CTRL_LOGOFF_EVENT";
  case CTRL_SHUTDOWN_EVENT:
    return "CTRL_SHUTDOWN_EVENT";
  case kEndSession:
    return "WM_ENDSESSION";
  default:
    return "CTRL_" + std::to_string(stopEvent.load());
  }
}

bool WaitForStop(int ms) {
  if (StopRequested())
    return true;
  if (wake == nullptr) {
    Sleep(static_cast<DWORD>(ms > 0 ? ms : 0));
    return StopRequested();
  }
  // A wait on an event object measures its time-out on the system's own
  // monotonic tick.
  WaitForSingleObject(wake, static_cast<DWORD>(ms > 0 ? ms : 0));
  return StopRequested();
}

bool DeliverStopForTest(unsigned long event, int waitMs) {
  // Left open: the thread may hold for ever.
  HANDLE returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread([event, returned] {
    if (event == kEndSession) {
      // Without a desktop (Wine with no display) there is no window: the
      // window procedure is called as the window would call it.
      WaitForSingleObject(windowReady, 5000);
      if (sessionWindow.load() != nullptr)
        SendMessageW(sessionWindow.load(), WM_ENDSESSION, TRUE, 0);
      else
        OnSessionMessage(nullptr, WM_ENDSESSION, TRUE, 0);
    } else {
      OnConsoleEvent(static_cast<DWORD>(event));
    }
    SetEvent(returned);
  }).detach();
  return WaitForSingleObject(returned, static_cast<DWORD>(waitMs)) == WAIT_OBJECT_0;
}

} // namespace plat
