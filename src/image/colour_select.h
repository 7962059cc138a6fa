#pragma once

// Colours in the readers: the colour a pixel value stands for, and which values and colours a
// /T or /E list names. These are the plain decisions, one colour at a time; colour_cache.h
// makes them fast for pictures whose pixels are colours.

#include <cstdint>

#include "base/colour_table.h"

namespace curvlog {

// The colour of a pixel value, 8 bits a channel.
struct CensusColour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

// A colour packed as 0xRRGGBB, and back.
inline std::uint32_t pack_colour(unsigned red, unsigned green, unsigned blue) {
  return std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
}
inline CensusColour unpack_colour(std::uint32_t colour) {
  return CensusColour{std::uint8_t(colour >> 16), std::uint8_t(colour >> 8), std::uint8_t(colour)};
}

// The grey that the overlay shows for a colour: its luminance 0.299 red + 0.587 green + 0.114
// blue, rounded, with bit 0 clear (the overlay sets it for a data pixel).
inline std::uint8_t plane_grey(CensusColour c) {
  const unsigned grey =
      (299 * unsigned{c.red} + 587 * unsigned{c.green} + 114 * unsigned{c.blue} + 500) / 1000;
  return std::uint8_t(grey & 0xFEu);
}

// True when one of the list's colour items covers the packed colour.
bool items_cover(const ColourList& list, std::uint32_t colour);

// The values 0-255 that a list names: each listed index, and each value below entries whose
// colour (colours[value]) one of the list's items covers. Values from entries on have no colour.
ColourTable listed_values(const ColourList& list, const CensusColour* colours, unsigned entries);

}  // namespace curvlog
