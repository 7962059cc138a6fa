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

InputFile::~InputFile() {
  close();
}

bool InputFile::open(const char* path, ErrorCode* error) {
  close();
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error_ = static_cast<ErrorCode>(errno);
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
    error_ = static_cast<ErrorCode>(failure);
    set_error(error, failure);
    return false;
  }
  // Only a hint: a FIFO or a device that cannot take it is read all the same.
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_ = fd;
  next_ = end_ = block_;
  error_ = 0;
  regular_size_ = S_ISREG(status.st_mode) ? static_cast<std::int64_t>(status.st_size) : -1;
  return true;
}

void InputFile::close() {
  if (handle_ != kNoHandle) {
    // Nothing was written, so a failed close loses nothing.
    (void)::close(descriptor(handle_));
    handle_ = kNoHandle;
  }
  next_ = end_ = nullptr;
  regular_size_ = -1;
}

long InputFile::refill() {
  next_ = end_ = block_;
  if (handle_ == kNoHandle) {
    error_ = EBADF;
    return -1;
  }
  ssize_t got = posix::read_resumed(descriptor(handle_), block_, kBlockSize);
  if (got < 0) {
    error_ = static_cast<ErrorCode>(errno);
    return -1;
  }
  end_ = block_ + got;
  return static_cast<long>(got);
}

bool InputFile::skip(std::uint32_t count) {
  if (handle_ == kNoHandle) {
    error_ = EBADF;
    return false;
  }
  std::size_t buffered = static_cast<std::size_t>(end_ - next_);
  if (count <= buffered) {
    next_ += count;
    return true;
  }
  std::uint64_t rest = count - buffered;
  next_ = end_ = block_;
  int fd = descriptor(handle_);
  // The system's position lies past the buffered bytes, so a relative move by the rest lands
  // where the reader expects. Beyond the end of the file is allowed.
  if (::lseek(fd, static_cast<off_t>(rest), SEEK_CUR) >= 0) return true;
  if (errno != ESPIPE) {
    error_ = static_cast<ErrorCode>(errno);
    return false;
  }
  // A pipe or FIFO cannot seek: read and discard. Reaching the end meanwhile is no failure,
  // the next read reports it.
  while (rest > 0) {
    std::size_t want = rest < kBlockSize ? static_cast<std::size_t>(rest) : kBlockSize;
    ssize_t got = posix::read_resumed(fd, block_, want);
    if (got < 0) {
      error_ = static_cast<ErrorCode>(errno);
      return false;
    }
    if (got == 0) break;
    rest -= static_cast<std::uint64_t>(got);
  }
  return true;
}

bool InputFile::rewind() {
  if (handle_ == kNoHandle) {
    error_ = EBADF;
    return false;
  }
  next_ = end_ = block_;
  if (::lseek(descriptor(handle_), 0, SEEK_SET) == 0) return true;
  error_ = static_cast<ErrorCode>(errno);
  return false;
}

long InputFile::read_at(std::uint64_t offset, void* buffer, std::size_t size,
                        ErrorCode* error) const {
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
