#pragma once

#include <cstddef>
#include <cstdint>

#include "base/colour_table.h"

namespace curvlog {

// The steps in which 8-bit pixels are classified into whole bitmap bytes: eight pixels in a
// 64-bit word, 16 or 32 pixels in a vector register. The widest step that the processor runs
// is used, up to the widest one allowed (tests allow each in turn).
enum class ClassifyWidth { kWord, k128, k256 };

// What an 8-bit pixel value becomes in the data bitmap.
inline constexpr std::uint8_t kBackground = 0;
inline constexpr std::uint8_t kData = 1;
inline constexpr std::uint8_t kGreyPixel = 2;  // black&white input allows only 0 and 255

// How the 8-bit pixels are classified: the class of every value for pixels taken one at a
// time, and for runs of whole bitmap bytes either the black&white test or, for a colour list
// of few values (or of all but a few), comparisons with those values.
struct Classifier {
  std::uint8_t classes[256];
  bool black_white = false;
  ClassifyWidth width = ClassifyWidth::kWord;  // the widest step that serves whole bytes
  bool compare_unselected = false;             // the values compared are those outside the list
  unsigned compare_count = 0;                  // 0: the table serves the runs too
  std::uint8_t compare_values[8] = {};
};

// Black&white (0 data, 255 background, anything else a grey pixel) without a list of selected
// colour values; with one, the listed values are data and all others background.
Classifier make_classifier(const ColourTable* selected, ClassifyWidth widest);

// Classes given value by value (kData, kBackground or kGreyPixel), for values that are neither
// grey levels nor listed values: palette indices classed by their colours, say. The table
// serves every pixel.
Classifier make_table_classifier(const std::uint8_t (&classes)[256]);

// One pixel at column x of a row that starts zero-filled. False for a grey pixel.
inline bool classify_pixel(const Classifier& c, std::uint8_t value, std::uint8_t* row,
                           std::uint32_t x) {
  const unsigned bit = c.classes[value];
  if (bit == kGreyPixel) return false;
  row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | bit << (7 - x % 8));
  return true;
}

// Classifies count pixels into a zero-filled row from column x on. False at a grey pixel (the
// row is of no use then).
bool classify_span(const Classifier& c, const std::uint8_t* in, std::uint32_t count,
                   std::uint8_t* row, std::uint32_t x);

// ---- The vector steps (classify_vector.cpp) -------------------------------------------------

// The widest step that this processor runs.
ClassifyWidth widest_vector_step();

// Classifies as many whole groups of eight pixels as c.width's vector step takes, into bitmap
// bytes at out; returns how many it took (0 for kWord), the rest is left to the plain loop.
// Sets *grey when a grey pixel turned up among them.
std::size_t classify_groups_vector(const Classifier& c, const std::uint8_t* in, std::size_t groups,
                                   std::uint8_t* out, bool* grey);

}  // namespace curvlog
