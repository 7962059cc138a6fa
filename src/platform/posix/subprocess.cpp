// Runs the helper programs of the dialogs without a shell, reading what they print, and waits
// for the user until a console control signal ends the wait.

#include "platform/posix/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/control_signals.h"
#include "platform/posix/resumed_io.h"

namespace curvlog::platform::posix {
namespace {

// Owns a file descriptor.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) (void)::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

bool make_pipe(Descriptor& read_end, Descriptor& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end.reset(fds[0]);
  write_end.reset(fds[1]);
  return true;
}

// Starts a child with its standard input and error on /dev/null, its standard output on
// output_fd and no signal blocked. The settings live as long as this object.
class Spawn {
 public:
  explicit Spawn(int output_fd) {
    actions_ready_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    attributes_ready_ = ::posix_spawnattr_init(&attributes_) == 0;
    sigset_t none;
    sigemptyset(&none);
    ready_ = actions_ready_ && attributes_ready_ &&
             ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY,
                                                0) == 0 &&
             ::posix_spawn_file_actions_adddup2(&actions_, output_fd, STDOUT_FILENO) == 0 &&
             ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY,
                                                0) == 0 &&
             ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
             ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK) == 0;
  }
  ~Spawn() {
    if (actions_ready_) (void)::posix_spawn_file_actions_destroy(&actions_);
    if (attributes_ready_) (void)::posix_spawnattr_destroy(&attributes_);
  }
  Spawn(const Spawn&) = delete;
  Spawn& operator=(const Spawn&) = delete;

  // False when the program cannot be started (ENOENT: it is not on the PATH).
  bool start(char* const argv[], pid_t* child) {
    return ready_ && ::posix_spawnp(child, argv[0], &actions_, &attributes_, argv, environ) == 0;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool actions_ready_ = false;
  bool attributes_ready_ = false;
  bool ready_ = false;
};

}  // namespace

bool display_available() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

bool wait_readable(int fd, unsigned signals_before) {
  // Signals are held back from the look at the count until the wait lets them through, so
  // that one arriving in between ends the wait at once instead of being missed.
  sigset_t all, none, previous;
  sigfillset(&all);
  sigemptyset(&none);
  (void)::pthread_sigmask(SIG_SETMASK, &all, &previous);
  bool readable = true;  // also when the wait fails: the read that follows reports it
  for (;;) {
    if (control_signal_count() != signals_before) {
      readable = false;
      break;
    }
    pollfd wait_for{fd, POLLIN, 0};
    if (::ppoll(&wait_for, 1, nullptr, &none) >= 0 || errno != EINTR) break;
  }
  (void)::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return readable;
}

ProgramResult run_program(char* const argv[], char* output, std::size_t capacity) {
  ProgramResult result;
  Descriptor output_read, output_write;
  if (!make_pipe(output_read, output_write)) return result;
  const unsigned signals_before = control_signal_count();
  pid_t child = 0;
  if (!Spawn(output_write.get()).start(argv, &child)) return result;
  output_write.reset();
  result.started = true;

  // Read until the program closes its output, which it does when it ends. A console control
  // signal stops it instead.
  char discard[512];
  for (;;) {
    if (!wait_readable(output_read.get(), signals_before)) {
      result.interrupted = true;
      (void)::kill(child, SIGTERM);
      break;
    }
    char* target = discard;
    std::size_t room = sizeof discard;
    if (output != nullptr && result.output_length + 1 < capacity) {
      target = output + result.output_length;
      room = capacity - 1 - result.output_length;
    }
    const ssize_t got = read_resumed(output_read.get(), target, room);
    if (got <= 0) break;
    if (target == discard) {
      result.output_truncated = result.output_truncated || output != nullptr;
    } else {
      result.output_length += std::size_t(got);
    }
  }
  if (output != nullptr && capacity > 0) output[result.output_length] = '\0';

  int status = 0;
  pid_t ended;
  do {
    ended = ::waitpid(child, &status, 0);
  } while (ended < 0 && errno == EINTR);
  if (ended == child && WIFEXITED(status)) {
    result.exited = true;
    result.exit_status = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace curvlog::platform::posix
