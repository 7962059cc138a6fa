#include "image/colour_counts.h"

#include <bit>
#include <utility>

namespace curvlog {

bool ColourCounts::grow() {
  const std::uint32_t capacity = capacity_ == 0 ? 1024 : capacity_ * 2;
  CArray<Entry> slots = allocate_zeroed<Entry>(capacity);
  if (!slots) return false;
  const CArray<Entry> old = std::exchange(slots_, std::move(slots));
  const std::uint32_t old_capacity = std::exchange(capacity_, capacity);
  shift_ = 32 - unsigned(std::countr_zero(capacity));
  for (std::uint32_t i = 0; i < old_capacity; ++i) {
    if (old[i].key != 0) slot(old[i].key) = old[i];
  }
  return true;
}

}  // namespace curvlog
