// The control signals of POSIX systems: each arrives as its console control event, and the
// dispositions found before are restored.

#include <signal.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

std::atomic<long> last_control_type{-1};
bool record_control(unsigned long type) {
  last_control_type = long(type);
  return true;
}
std::atomic<int> earlier_calls{0};
void earlier_action(int) {
  ++earlier_calls;
}

TEST(ControlHandler, SignalsArriveAsControlTypesUntilRemoved) {
  struct Case {
    int signal;
    long control_type;
  } cases[] = {{SIGINT, kCtrlCEvent},
               {SIGQUIT, kCtrlBreakEvent},
               {SIGHUP, kCloseEvent},
               {SIGTERM, kShutdownEvent}};
  for (const Case& c : cases) {
    struct sigaction earlier {};
    earlier.sa_handler = earlier_action;
    ASSERT_EQ(::sigaction(c.signal, &earlier, nullptr), 0);
    earlier_calls = 0;
    last_control_type = -1;

    register_control_handler(record_control);
    register_control_handler(record_control);  // again: the earlier action must survive
    errno = 1234;
    ASSERT_EQ(::raise(c.signal), 0);
    EXPECT_EQ(errno, 1234);  // the interrupted code finds errno unchanged
    EXPECT_EQ(last_control_type, c.control_type) << c.signal;
    EXPECT_EQ(earlier_calls, 0);
    remove_control_handler(record_control);

    struct sigaction now {};
    ASSERT_EQ(::sigaction(c.signal, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, earlier_action) << c.signal;
    last_control_type = -1;
    ASSERT_EQ(::raise(c.signal), 0);
    EXPECT_EQ(earlier_calls, 1);
    EXPECT_EQ(last_control_type, -1);
    ::signal(c.signal, SIG_DFL);
  }
}

}  // namespace
}  // namespace curvlog::platform
