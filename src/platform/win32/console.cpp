// Interrupts (console control events), the message box and the locale query on Windows.

#include <atomic>
#include <cstdlib>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {

namespace {

// Set on the main thread; read by the system's control-event thread.
std::atomic<InterruptHandler> registered_handler{nullptr};
// The main thread, whose waiting read an interrupt cancels: a handle of its own, opened at
// registration and closed at removal.
std::atomic<HANDLE> main_thread{nullptr};
std::atomic<bool> interrupted{false};

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
  switch (control_type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  const InterruptHandler handler = registered_handler.load();
  if (handler == nullptr) return FALSE;
  handler();
  interrupted.store(true);
  // Ends a read that waits for a pipe; with nothing waiting it fails, harmlessly.
  const HANDLE thread = main_thread.load();
  if (thread != nullptr) (void)CancelSynchronousIo(thread);
  return TRUE;
}

bool interrupt_came() {
  return interrupted.load();
}

}  // namespace win32

void on_interrupt(InterruptHandler handler) {
  if (handler == nullptr) {
    (void)SetConsoleCtrlHandler(win32::console_control_routine, FALSE);
    registered_handler.store(nullptr);
    const HANDLE thread = main_thread.exchange(nullptr);
    if (thread != nullptr) (void)CloseHandle(thread);
    return;
  }
  if (registered_handler.exchange(handler) != nullptr) return;  // registered already
  HANDLE thread = nullptr;
  // CancelSynchronousIo needs a real handle with this right, not the pseudo-handle.
  if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                      THREAD_TERMINATE, FALSE, 0)) {
    main_thread.store(thread);
  }
  // A failed registration leaves the run without cancellation; the run goes on all the same.
  (void)SetConsoleCtrlHandler(win32::console_control_routine, TRUE);
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
