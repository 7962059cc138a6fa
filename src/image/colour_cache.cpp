#include "image/colour_cache.h"

#include <cstring>

namespace curvlog {

std::uint32_t pixel_run(const std::uint8_t* p, std::uint32_t count, unsigned size) {
  const std::size_t bytes = std::size_t{count - 1} * size;  // each compared with the next's
  std::size_t k = 0;
  for (; k + 8 <= bytes; k += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, p + k, sizeof a);
    std::memcpy(&b, p + k + size, sizeof b);
    if (a != b) break;
  }
  while (k < bytes && p[k] == p[k + size]) ++k;
  return std::uint32_t(k / size) + 1;
}

}  // namespace curvlog
