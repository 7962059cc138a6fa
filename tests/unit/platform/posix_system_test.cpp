// Interrupts on POSIX systems: each of the four signals calls the handler, the dispositions
// found before are restored, and an interrupt ends a read that waits for a pipe, whether it
// comes before the read or during it.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

std::atomic<int> handler_calls{0};
void count_interrupt() {
  ++handler_calls;
}
std::atomic<int> earlier_calls{0};
void earlier_action(int) {
  ++earlier_calls;
}

TEST(Interrupts, EachSignalCallsTheHandlerUntilRemoved) {
  for (const int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM}) {
    struct sigaction earlier {};
    earlier.sa_handler = earlier_action;
    ASSERT_EQ(::sigaction(signal, &earlier, nullptr), 0);
    earlier_calls = 0;
    handler_calls = 0;

    on_interrupt(count_interrupt);
    on_interrupt(count_interrupt);  // again: the earlier action must survive
    errno = 1234;
    ASSERT_EQ(::raise(signal), 0);
    EXPECT_EQ(errno, 1234);  // the interrupted code finds errno unchanged
    EXPECT_EQ(handler_calls, 1) << signal;
    EXPECT_EQ(earlier_calls, 0);
    on_interrupt(nullptr);

    struct sigaction now {};
    ASSERT_EQ(::sigaction(signal, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, earlier_action) << signal;
    ASSERT_EQ(::raise(signal), 0);
    EXPECT_EQ(earlier_calls, 1);
    EXPECT_EQ(handler_calls, 1);
    ::signal(signal, SIG_DFL);
  }
  // Any other signal leaves the handler alone.
  ::signal(SIGUSR1, earlier_action);
  on_interrupt(count_interrupt);
  ASSERT_EQ(::raise(SIGUSR1), 0);
  on_interrupt(nullptr);
  ::signal(SIGUSR1, SIG_DFL);
  EXPECT_EQ(handler_calls, 1);
}

// A FIFO whose writer stays open and silent: a read of it waits until something ends the wait.
// The writer goes after five seconds at the latest, so that a read the interrupt missed ends
// in an end of file, which fails the test, rather than in a hang.
TEST(Interrupts, EndAReadThatWaitsForAPipe) {
  const std::string path = testing::TempDir() + "curvlog_fifo_" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  for (const bool before_the_read : {true, false}) {
    SCOPED_TRACE(before_the_read ? "signal before the read" : "signal during the read");
    const int writer = ::open(path.c_str(), O_RDWR | O_CLOEXEC);  // opens without a reader
    ASSERT_GE(writer, 0);
    File input;
    ErrorCode error = 0;
    ASSERT_TRUE(input.open(path.c_str(), &error));
    EXPECT_EQ(input.regular_size(), -1);
    handler_calls = 0;
    on_interrupt(count_interrupt);
    if (before_the_read) {
      ASSERT_EQ(::raise(SIGINT), 0);
    }
    const pthread_t reader = ::pthread_self();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!before_the_read) ::pthread_kill(reader, SIGTERM);
      for (int i = 0; i < 500 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ::close(writer);
    });
    char byte = 0;
    EXPECT_EQ(input.read(&byte, 1, &error), -1);
    EXPECT_EQ(error, ErrorCode{EINTR});
    EXPECT_EQ(input.read(&byte, 1, &error), -1);  // and every later read
    done = true;
    interrupter.join();
    EXPECT_EQ(handler_calls, 1);
    on_interrupt(nullptr);
  }
  ::unlink(path.c_str());
}

}  // namespace
}  // namespace curvlog::platform
