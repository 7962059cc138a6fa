// Input and output files, existence test and deletion on POSIX systems.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/control_signals.h"
#include "platform/posix/resumed_io.h"

namespace curvlog::platform {
namespace {

void set_error(ErrorCode* error, int number) {
  if (error != nullptr) *error = static_cast<ErrorCode>(number);
}

int descriptor(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

// ---- Paths -------------------------------------------------------------------------------------

bool path_exists(const char* path) {
  return path != nullptr && ::access(path, F_OK) == 0;
}

bool is_directory_separator(char c) {
  return c == '/';
}

bool slash_argument_is_path(const char* argument) {
  return argument != nullptr && argument[0] == '/' && std::strchr(argument + 1, '/') != nullptr;
}

bool delete_file(const char* path, ErrorCode* error) {
  if (::unlink(path) == 0) return true;
  set_error(error, errno);
  return false;
}

// ---- Memory --------------------------------------------------------------------------------

void advise_large_block(void* block, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  // Below two large pages there is nothing to gain. The advice covers whole pages, including
  // the partly used first and last ones: they belong to this process's allocation too.
  constexpr std::size_t kWorthwhile = 4u << 20;
  const long page = ::sysconf(_SC_PAGESIZE);
  if (block == nullptr || size < kWorthwhile || page <= 0) return;
  const auto mask = ~(static_cast<std::uintptr_t>(page) - 1);
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(block) & mask;
  const std::uintptr_t end =
      (reinterpret_cast<std::uintptr_t>(block) + size + static_cast<std::uintptr_t>(page) - 1) &
      mask;
  // Only a hint: a kernel without large pages refuses it, and the block works all the same.
  (void)::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

// ---- Input file --------------------------------------------------------------------------

const ErrorCode kCannotRewind = ESPIPE;

bool File::open(const char* path, ErrorCode* error) {
  close();
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    set_error(error, errno);
    return false;
  }
  // open() succeeds on a directory; reading it would fail with EISDIR at the first byte, so
  // it is refused here, where the caller reports an unopenable input.
  struct stat status;
  int failure = 0;
  if (::fstat(fd, &status) != 0) {
    failure = errno;
  } else if (S_ISDIR(status.st_mode)) {
    failure = EISDIR;
  }
  if (failure != 0) {
    ::close(fd);
    set_error(error, failure);
    return false;
  }
  // Only a hint: a FIFO or a device that cannot take it is read all the same.
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_ = fd;
  regular_size_ = S_ISREG(status.st_mode) ? static_cast<std::int64_t>(status.st_size) : -1;
  return true;
}

void File::close() {
  if (handle_ != kNoHandle) {
    // Nothing was written, so a failed close loses nothing.
    (void)::close(descriptor(handle_));
    handle_ = kNoHandle;
  }
  regular_size_ = -1;
}

long File::read(void* buffer, std::size_t size, ErrorCode* error) {
  if (size > static_cast<std::size_t>(LONG_MAX)) size = LONG_MAX;
  const int fd = descriptor(handle_);
  // A pipe may wait for its writer as long as it likes; an interrupt ends the wait.
  int failure = handle_ == kNoHandle ? EBADF : regular_size_ < 0 ? posix::wait_readable(fd) : 0;
  if (failure == 0) {
    const ssize_t got = posix::read_resumed(fd, buffer, size);
    if (got >= 0) return static_cast<long>(got);
    failure = errno;
  }
  set_error(error, failure);
  return -1;
}

long File::read_at(std::uint64_t offset, void* buffer, std::size_t size, ErrorCode* error) const {
  if (handle_ == kNoHandle || regular_size_ < 0 || offset > std::uint64_t(INT64_MAX)) {
    set_error(error, EBADF);
    return -1;
  }
  if (size > static_cast<std::size_t>(LONG_MAX)) size = LONG_MAX;
  ssize_t got;
  do {
    got = ::pread(descriptor(handle_), buffer, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    set_error(error, errno);
    return -1;
  }
  return static_cast<long>(got);
}

// ---- Output file ---------------------------------------------------------------------------

OutputFile::~OutputFile() {
  close();
}

bool OutputFile::create_new(const char* path, ErrorCode* error) {
  close();
  int fd;
  do {
    // O_EXCL makes the existence test and the creation one step: an existing file, or a
    // symbolic link planted under the name, is never opened.
    fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    set_error(error, errno);
    return false;
  }
  handle_ = fd;
  return true;
}

void OutputFile::close() {
  if (handle_ == kNoHandle) return;
  (void)::close(descriptor(handle_));
  handle_ = kNoHandle;
}

long OutputFile::write(const void* data, std::size_t size, ErrorCode* error) {
  if (handle_ == kNoHandle) {
    set_error(error, EBADF);
    return -1;
  }
  if (size > static_cast<std::size_t>(LONG_MAX)) size = LONG_MAX;
  ssize_t put;
  do {
    put = ::write(descriptor(handle_), data, size);
  } while (put < 0 && errno == EINTR);
  if (put < 0) {
    set_error(error, errno);
    return -1;
  }
  return static_cast<long>(put);
}

}  // namespace curvlog::platform
