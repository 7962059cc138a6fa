#pragma once

#include <cstdint>

#include "base/owners.h"

namespace curvlog {

// The distinct colours of a picture (packed 0xRRGGBB) with their pixel counts: an open hash
// table that doubles when half full, from a block of the C allocator, so a refusal is an
// answer and not an exception. A picture of 65535 x 65535 pixels keeps every count in 32 bits.
class ColourCounts {
 public:
  struct Entry {
    std::uint32_t key;  // the colour + 1; 0 marks a free slot
    std::uint32_t count;
  };

  // Adds pixels of a colour. False when the table had to grow and its memory was refused.
  bool add(std::uint32_t colour, std::uint32_t pixels) {
    if (size_ * 2 >= capacity_ && !grow()) return false;
    Entry& entry = slot(colour + 1);
    if (entry.key == 0) {
      entry.key = colour + 1;
      ++size_;
    }
    entry.count += pixels;
    return true;
  }

  std::uint32_t size() const { return size_; }

  // Calls take(colour, count) for every colour, in no particular order.
  template <typename Take>
  void each(Take take) const {
    for (std::uint32_t i = 0; i < capacity_; ++i) {
      if (slots_[i].key != 0) take(slots_[i].key - 1, slots_[i].count);
    }
  }

 private:
  Entry& slot(std::uint32_t key) {
    std::uint32_t i = (key * 2654435761u) >> shift_;
    while (slots_[i].key != 0 && slots_[i].key != key) i = (i + 1) & (capacity_ - 1);
    return slots_[i];
  }
  bool grow();

  CArray<Entry> slots_;
  std::uint32_t capacity_ = 0;  // a power of two
  std::uint32_t shift_ = 32;    // 32 - log2(capacity_): the top bits of the hash pick a slot
  std::uint32_t size_ = 0;
};

}  // namespace curvlog
