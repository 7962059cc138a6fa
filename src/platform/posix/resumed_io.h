#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace curvlog::platform::posix {

// The control signals are installed with SA_RESTART, but a read may still end with EINTR (a
// signal that arrives before any byte moved, on some devices): it is simply resumed.
inline ssize_t read_resumed(int fd, void* buffer, std::size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace curvlog::platform::posix
