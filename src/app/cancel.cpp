#include "app/cancel.h"

namespace curvlog {

bool handle_console_control(unsigned long control_type) {
  switch (control_type) {
    case 0:  // Ctrl+C
    case 1:  // Ctrl+Break
    case 2:  // console closed
    case 5:  // log-off
    case 6:  // shut-down
      internal::cancel_flag.store(1, std::memory_order_relaxed);
      return true;
    default:
      return false;
  }
}

void reset_cancel_flag_for_testing() {
  internal::cancel_flag.store(0, std::memory_order_relaxed);
}

}  // namespace curvlog
