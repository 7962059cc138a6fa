// Interrupts on POSIX systems: the signals that end a terminal session or ask a program to
// stop. The signal handler also writes a byte into a pipe of its own (the self-pipe), which a
// waiting read polls beside its file: a signal that comes before the read starts or while it
// waits ends it all the same.

#include "platform/posix/control_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

// Ctrl+C, the terminal's quit key (the nearest thing to Ctrl+Break), the terminal closing,
// and the request to stop that log-off and shut-down send.
constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

std::atomic<InterruptHandler> registered_handler{nullptr};
std::atomic<unsigned> signal_count{0};
std::atomic<int> interrupt_pipe_write{-1};
static_assert(std::atomic<InterruptHandler>::is_always_lock_free);
static_assert(std::atomic<unsigned>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

// Set up by on_interrupt() on the main thread: the dispositions in force before, restored on
// removal, and the self-pipe's read end.
struct sigaction earlier_actions[kSignalCount];
bool installed = false;
int interrupt_pipe_read = -1;

void on_signal(int) {
  // The interrupted code must find errno unchanged.
  const int saved_errno = errno;
  signal_count.fetch_add(1, std::memory_order_relaxed);
  const InterruptHandler handler = registered_handler.load(std::memory_order_relaxed);
  if (handler != nullptr) handler();
  // Never drained: every later wait ends at once too. A full pipe already says it.
  const int fd = interrupt_pipe_write.load(std::memory_order_relaxed);
  if (fd >= 0) (void)!::write(fd, "", 1);
  errno = saved_errno;
}

void install() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    interrupt_pipe_read = ends[0];
    interrupt_pipe_write.store(ends[1], std::memory_order_relaxed);
  }
  struct sigaction action {};
  action.sa_handler = on_signal;
  // SA_RESTART resumes interrupted writes and the like, so the work goes on to its next cancel
  // checkpoint; a read that waits for data ends through the self-pipe instead. The other
  // signals wait while the handler runs.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : kSignals) sigaddset(&action.sa_mask, number);
  for (int i = 0; i < kSignalCount; ++i)
    (void)::sigaction(kSignals[i], &action, &earlier_actions[i]);
  installed = true;
}

void uninstall() {
  // Restore first: a signal that comes meanwhile still finds the handler and the pipe.
  for (int i = 0; i < kSignalCount; ++i)
    (void)::sigaction(kSignals[i], &earlier_actions[i], nullptr);
  const int write_end = interrupt_pipe_write.exchange(-1, std::memory_order_relaxed);
  if (write_end >= 0) {
    ::close(write_end);
    ::close(interrupt_pipe_read);
    interrupt_pipe_read = -1;
  }
  installed = false;
}

}  // namespace

namespace posix {

unsigned control_signal_count() {
  return signal_count.load(std::memory_order_relaxed);
}

int wait_readable(int fd) {
  for (;;) {
    pollfd waits[2] = {{fd, POLLIN, 0}, {interrupt_pipe_read, POLLIN, 0}};
    const int ready = ::poll(waits, 2, -1);  // a negative descriptor is left out
    if (ready > 0) return waits[1].revents != 0 ? EINTR : 0;
    if (errno != EINTR) return errno;
    // Without a self-pipe (none could be made) only a signal that ends poll() is seen.
    if (installed && interrupt_pipe_read < 0) return EINTR;
  }
}

}  // namespace posix

void on_interrupt(InterruptHandler handler) {
  // A handler replaced keeps the installation: the earlier actions must stay the ones from
  // before the first.
  registered_handler.store(handler, std::memory_order_relaxed);
  if (handler != nullptr && !installed) install();
  if (handler == nullptr && installed) uninstall();
}

}  // namespace curvlog::platform
