// Console control events, the message box and the locale query on Windows.

#include <atomic>
#include <cstdlib>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {

static_assert(kCtrlCEvent == CTRL_C_EVENT && kCtrlBreakEvent == CTRL_BREAK_EVENT &&
              kCloseEvent == CTRL_CLOSE_EVENT && kLogoffEvent == CTRL_LOGOFF_EVENT &&
              kShutdownEvent == CTRL_SHUTDOWN_EVENT);

namespace {

// Set on the main thread; read by the system's control-event thread.
std::atomic<ControlHandler> registered_handler{nullptr};

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
using WideText = std::unique_ptr<wchar_t[], FreeDeleter>;

// The text converted from the active code page (UTF-8 under the program's manifest). Empty on
// a refused allocation or an unconvertible text: the box still shows, with what there is.
WideText to_wide(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return WideText(static_cast<wchar_t*>(std::calloc(1, sizeof(wchar_t))));
  WideText wide(
      static_cast<wchar_t*>(std::calloc(static_cast<std::size_t>(length), sizeof(wchar_t))));
  if (wide != nullptr && MultiByteToWideChar(CP_ACP, 0, text, -1, wide.get(), length) == 0) {
    wide[0] = L'\0';
  }
  return wide;
}

}  // namespace

namespace win32 {

BOOL WINAPI console_control_routine(DWORD control_type) {
  const ControlHandler handler = registered_handler.load();
  return handler != nullptr && handler(control_type) ? TRUE : FALSE;
}

}  // namespace win32

void register_control_handler(ControlHandler handler) {
  registered_handler.store(handler);
  // A failed registration leaves the run without cancellation; the run goes on all the same.
  (void)SetConsoleCtrlHandler(win32::console_control_routine, TRUE);
}

void remove_control_handler(ControlHandler handler) {
  (void)SetConsoleCtrlHandler(win32::console_control_routine, FALSE);
  ControlHandler expected = handler;
  registered_handler.compare_exchange_strong(expected, nullptr);
}

void show_message_box(const char* text, const char* caption) {
  const WideText wide_text = to_wide(text);
  const WideText wide_caption = to_wide(caption);
  (void)MessageBoxW(nullptr, wide_text != nullptr ? wide_text.get() : L"",
                    wide_caption != nullptr ? wide_caption.get() : L"", MB_OK);
}

int query_decimal_separator(char* buffer, int capacity, ErrorCode* error) {
  const int written = GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SDECIMAL, buffer, capacity);
  if (written == 0 && error != nullptr) *error = GetLastError();
  return written;
}

}  // namespace curvlog::platform
