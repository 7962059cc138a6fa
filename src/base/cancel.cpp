#include "base/cancel.h"

#include "platform/platform.h"

namespace curvlog {

bool handle_console_control(unsigned long control_type) {
  switch (control_type) {
    case platform::kCtrlCEvent:
    case platform::kCtrlBreakEvent:
    case platform::kCloseEvent:
    case platform::kLogoffEvent:
    case platform::kShutdownEvent:
      internal::cancel_flag.store(1, std::memory_order_relaxed);
      return true;
    default:
      return false;
  }
}

}  // namespace curvlog
