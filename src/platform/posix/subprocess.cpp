// Runs the helper programs of the dialogs without a shell, reading what they print.

#include "platform/posix/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_child(const char* path, char* const argv[], int output_fd, int status_fd) {
  int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    (void)::dup2(null_fd, STDIN_FILENO);
    (void)::dup2(null_fd, STDERR_FILENO);
  }
  (void)::dup2(output_fd, STDOUT_FILENO);
  ::execv(path, argv);
  // Tell the parent why the program did not start; the pipe closes on a successful exec.
  int failure = errno;
  (void)!::write(status_fd, &failure, sizeof failure);
  ::_exit(127);
}

}  // namespace

bool display_available() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

bool find_program(const char* program, char* path, std::size_t capacity) {
  const char* search = std::getenv("PATH");
  if (search == nullptr || capacity == 0) return false;
  std::size_t name_length = std::strlen(program);
  for (const char* start = search;;) {
    const char* end = std::strchr(start, ':');
    std::size_t length = end != nullptr ? std::size_t(end - start) : std::strlen(start);
    // An empty entry means the current directory, by POSIX rule.
    const char* directory = length != 0 ? start : ".";
    if (length == 0) length = 1;
    if (length + 1 + name_length < capacity) {
      std::memcpy(path, directory, length);
      path[length] = '/';
      std::memcpy(path + length + 1, program, name_length + 1);
      struct stat status;
      if (::stat(path, &status) == 0 && S_ISREG(status.st_mode) && ::access(path, X_OK) == 0) {
        return true;
      }
    }
    if (end == nullptr) break;
    start = end + 1;
  }
  path[0] = '\0';
  return false;
}

ProgramResult run_program(const char* path, char* const argv[], char* output,
                          std::size_t capacity) {
  ProgramResult result;
  Descriptor output_read, output_write, status_read, status_write;
  if (!make_pipe(output_read, output_write) || !make_pipe(status_read, status_write)) {
    return result;
  }
  unsigned signals_before = control_signal_count();
  pid_t child = ::fork();
  if (child < 0) return result;
  if (child == 0) exec_child(path, argv, output_write.get(), status_write.get());

  output_write.reset();
  status_write.reset();
  int exec_failure = 0;
  if (read_resumed(status_read.get(), &exec_failure, sizeof exec_failure) == 0) {
    result.started = true;
  }

  // Read until the program closes its output, which it does when it ends. poll() is never
  // resumed after a signal, so a console control event is noticed here and stops the program.
  char discard[512];
  for (;;) {
    pollfd wait_for{output_read.get(), POLLIN, 0};
    if (::poll(&wait_for, 1, -1) < 0) {
      if (errno != EINTR) break;
      if (!result.interrupted && control_signal_count() != signals_before) {
        result.interrupted = true;
        (void)::kill(child, SIGTERM);
      }
      continue;
    }
    char* target = discard;
    std::size_t room = sizeof discard;
    if (output != nullptr && result.output_length + 1 < capacity) {
      target = output + result.output_length;
      room = capacity - 1 - result.output_length;
    }
    ssize_t got = read_resumed(output_read.get(), target, room);
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
