// Console control events on POSIX systems: the signals that end a terminal session or ask a
// program to stop.

#include "platform/posix/control_signals.h"

#include <signal.h>

#include <atomic>
#include <cerrno>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

struct ControlSignal {
  int number;
  unsigned long control_type;
};

// Ctrl+C, the terminal's quit key (the nearest thing to Ctrl+Break), the terminal closing,
// and the request to stop that log-off and shut-down send.
constexpr ControlSignal kControlSignals[] = {
    {SIGINT, kCtrlCEvent},
    {SIGQUIT, kCtrlBreakEvent},
    {SIGHUP, kCloseEvent},
    {SIGTERM, kShutdownEvent},
};
constexpr int kSignalCount = sizeof kControlSignals / sizeof kControlSignals[0];

std::atomic<ControlHandler> registered_handler{nullptr};
std::atomic<unsigned> signal_count{0};
static_assert(std::atomic<ControlHandler>::is_always_lock_free);
static_assert(std::atomic<unsigned>::is_always_lock_free);

// The dispositions that were in force before registration, restored on removal.
struct sigaction earlier_actions[kSignalCount];
bool installed = false;

void on_control_signal(int number) {
  // The handler may touch errno in theory; the interrupted code must find it unchanged.
  int saved_errno = errno;
  signal_count.fetch_add(1, std::memory_order_relaxed);
  ControlHandler handler = registered_handler.load(std::memory_order_relaxed);
  if (handler != nullptr) {
    for (const ControlSignal& control : kControlSignals) {
      if (control.number == number) (void)handler(control.control_type);
    }
  }
  errno = saved_errno;
}

}  // namespace

namespace posix {

unsigned control_signal_count() {
  return signal_count.load(std::memory_order_relaxed);
}

}  // namespace posix

void register_control_handler(ControlHandler handler) {
  registered_handler.store(handler, std::memory_order_relaxed);
  if (installed) return;  // a second registration must not save our own action as the earlier one

  struct sigaction action {};
  action.sa_handler = on_control_signal;
  // SA_RESTART resumes interrupted reads and writes, so the work goes on to its next cancel
  // checkpoint. The other control signals wait while the handler runs.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const ControlSignal& control : kControlSignals) sigaddset(&action.sa_mask, control.number);
  for (int i = 0; i < kSignalCount; ++i) {
    (void)::sigaction(kControlSignals[i].number, &action, &earlier_actions[i]);
  }
  installed = true;
}

void remove_control_handler(ControlHandler handler) {
  if (!installed || registered_handler.load(std::memory_order_relaxed) != handler) return;
  // Restore first: a signal that arrives meanwhile still finds the handler.
  for (int i = 0; i < kSignalCount; ++i) {
    (void)::sigaction(kControlSignals[i].number, &earlier_actions[i], nullptr);
  }
  installed = false;
  registered_handler.store(nullptr, std::memory_order_relaxed);
}

}  // namespace curvlog::platform
