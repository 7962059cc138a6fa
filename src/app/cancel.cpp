#include "app/cancel.h"

#include <atomic>
#include <cstdint>

namespace curvlog {
namespace {

// Written from the console control handler (a signal handler on POSIX, another thread on
// Windows) with one lock-free store; read afresh at every checkpoint.
std::atomic<std::uint32_t> cancel_flag{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

}  // namespace

bool cancel_requested() { return cancel_flag.load(std::memory_order_relaxed) != 0; }

bool handle_console_control(unsigned long control_type) {
  switch (control_type) {
    case 0:  // Ctrl+C
    case 1:  // Ctrl+Break
    case 2:  // console closed
    case 5:  // log-off
    case 6:  // shut-down
      cancel_flag.store(1, std::memory_order_relaxed);
      return true;
    default:
      return false;
  }
}

void reset_cancel_flag_for_testing() { cancel_flag.store(0, std::memory_order_relaxed); }

}  // namespace curvlog
