#pragma once

// Selection by colour made fast for pictures whose pixels are colours: a plot repeats a few
// thousand colours (its background, its curves and their anti-aliased edges), so the answer
// for a colour is remembered, and a run of one colour takes one answer. It must select as
// items_cover() does pixel by pixel; the colour selection test compares the two on every kind
// of picture.

#include <cstdint>

#include "base/colour_table.h"
#include "image/colour_select.h"

namespace curvlog {

// Whether a list's colour items cover a colour, remembered for the colours met lately in a
// table of 4096 slots (16 KiB), each a colour with its answer.
class ColourDecisions {
 public:
  explicit ColourDecisions(const ColourList& list) : list_(list) {}
  ColourDecisions(const ColourDecisions&) = delete;
  ColourDecisions& operator=(const ColourDecisions&) = delete;

  bool covers(std::uint32_t colour) {
    std::uint32_t& slot = slots_[(colour * 2654435761u) >> (32 - kBits)];
    if ((slot & (kKnown | 0xFFFFFF)) == (kKnown | colour)) return (slot & kCovered) != 0;
    const bool covered = items_cover(list_, colour);
    slot = colour | kKnown | (covered ? kCovered : 0);
    return covered;
  }

 private:
  static constexpr unsigned kBits = 12;
  static constexpr std::uint32_t kKnown = 1u << 24;
  static constexpr std::uint32_t kCovered = 1u << 25;

  const ColourList& list_;
  std::uint32_t slots_[1u << kBits] = {};
};

// The number of pixels of size bytes each (8-bit red, green, blue and perhaps alpha) from p on
// that equal the first, at most count (at least 1). Runs are found in the bytes, eight at a
// time: pixels 0 to n - 1 are equal when every byte equals the one a pixel on.
std::uint32_t pixel_run(const std::uint8_t* p, std::uint32_t count, unsigned size);

// Marks pixels first to first + n - 1 of a row of pixels as data, pixel i at column
// x + i * step of a bitmap row.
inline void mark_run(std::uint8_t* row, std::uint32_t x, std::uint32_t step, std::uint32_t first,
                     std::uint32_t n) {
  for (std::uint32_t k = 0, column = x + first * step; k < n; ++k, column += step) {
    row[column / 8] = static_cast<std::uint8_t>(row[column / 8] | 0x80u >> (column % 8));
  }
}

}  // namespace curvlog
