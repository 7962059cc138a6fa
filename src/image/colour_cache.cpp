#include "image/colour_cache.h"

namespace curvlog {

void select_colours(ColourDecisions& decisions, const std::uint32_t* colours, std::uint32_t count,
                    std::uint32_t x, std::uint32_t step, std::uint8_t* row) {
  for (std::uint32_t i = 0; i < count;) {
    const std::uint32_t colour = colours[i];
    std::uint32_t end = i + 1;
    while (end < count && colours[end] == colour) ++end;
    if (decisions.covers(colour)) {
      for (std::uint32_t k = i, column = x + i * step; k < end; ++k, column += step) {
        row[column / 8] = static_cast<std::uint8_t>(row[column / 8] | 0x80u >> (column % 8));
      }
    }
    i = end;
  }
}

}  // namespace curvlog
