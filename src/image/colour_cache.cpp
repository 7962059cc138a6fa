#include "image/colour_cache.h"

#include <cstring>

namespace curvlog {

std::uint32_t rgb_run(const std::uint8_t* p, std::uint32_t count) {
  const std::size_t bytes = std::size_t{count - 1} * 3;  // each compared with the one 3 on
  std::size_t k = 0;
  for (; k + 8 <= bytes; k += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, p + k, sizeof a);
    std::memcpy(&b, p + k + 3, sizeof b);
    if (a != b) break;
  }
  while (k < bytes && p[k] == p[k + 3]) ++k;
  return std::uint32_t(k / 3) + 1;
}

}  // namespace curvlog
