#pragma once

#include <array>
#include <cstdint>

namespace curvlog {

// 256 flags, one per colour index 0-255; a set flag marks a listed value (/T and /E lists).
using ColourTable = std::array<bool, 256>;

// A colour item of a /T or /E list ("#RRGGBB" or "#RRGGBB~D"): every pixel whose colour lies
// within distance of this one, measured as the Euclidean distance in 8-bit RGB.
struct ColourItem {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint16_t distance = 60;

  bool covers(unsigned r, unsigned g, unsigned b) const {
    const int dr = int(r) - red, dg = int(g) - green, db = int(b) - blue;
    return dr * dr + dg * dg + db * db <= int(distance) * int(distance);
  }
};

// The most colour items one list may hold.
inline constexpr unsigned kMaxColourItems = 32;

// What a /T or /E list names: colour indices (single values and ranges) and colour items.
struct ColourList {
  ColourTable indices{};
  bool any_index = false;  // the list named at least one index
  ColourItem items[kMaxColourItems] = {};
  unsigned item_count = 0;
};

}  // namespace curvlog
