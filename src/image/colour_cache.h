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

// Marks the pixels of a row of count colours that the items cover as data: pixel i at column
// x + i * step of a zero-filled bitmap row.
void select_colours(ColourDecisions& decisions, const std::uint32_t* colours, std::uint32_t count,
                    std::uint32_t x, std::uint32_t step, std::uint8_t* row);

}  // namespace curvlog
