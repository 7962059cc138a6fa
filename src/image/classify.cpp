#include "image/classify.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace curvlog {
namespace {

// Classifies groups of eight pixels into whole bitmap bytes, the first pixel in the most
// significant bit. False when a grey pixel turned up in black&white input (the bytes stored
// then are of no use).
bool classify_groups(const Classifier& c, const std::uint8_t* in, std::size_t groups,
                     std::uint8_t* out) {
  bool grey = false;
  std::size_t g = classify_groups_vector(c, in, groups, out, &grey);
  if (grey) return false;
  for (; g < groups; ++g) {
    const std::uint8_t* const p = in + g * 8;
    if (c.black_white && std::endian::native == std::endian::little) {
      // Eight pixels in one word: each byte must equal its top bit spread over the byte; the
      // multiplication gathers the eight top bits, the first pixel's into bit 63.
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const std::uint64_t tops = word >> 7 & 0x0101010101010101;
      if (word != tops * 0xFF) return false;
      out[g] = static_cast<std::uint8_t>(~((tops * 0x8040201008040201) >> 56));
      continue;
    }
    unsigned bits = 0, seen = 0;
    for (int i = 0; i < 8; ++i) {
      const unsigned value_class = c.classes[p[i]];
      seen |= value_class;
      bits = bits << 1 | (value_class & kData);
    }
    if (seen & kGreyPixel) return false;
    out[g] = static_cast<std::uint8_t>(bits);
  }
  return true;
}

}  // namespace

Classifier make_classifier(const ColourTable* selected, ClassifyWidth widest) {
  Classifier c;
  c.width = std::min(widest_vector_step(), widest);
  c.black_white = selected == nullptr;
  unsigned count = 0;
  for (unsigned v = 0; v < 256; ++v) {
    if (c.black_white) {
      c.classes[v] = v == 0 ? kData : v == 255 ? kBackground : kGreyPixel;
    } else {
      c.classes[v] = (*selected)[v] ? kData : kBackground;
      count += c.classes[v];
    }
  }
  if (c.black_white) return c;
  // A list of few values is compared value by value; so is one of all but a few values, by
  // comparing with those outside it.
  c.compare_unselected = count > 128;
  const std::uint8_t wanted = c.compare_unselected ? kBackground : kData;
  if (c.compare_unselected) count = 256 - count;
  if (count > sizeof c.compare_values) return c;
  for (unsigned v = 0; v < 256; ++v) {
    if (c.classes[v] == wanted) c.compare_values[c.compare_count++] = std::uint8_t(v);
  }
  return c;
}

Classifier make_table_classifier(const std::uint8_t (&classes)[256]) {
  Classifier c;
  std::memcpy(c.classes, classes, sizeof c.classes);
  return c;  // neither black&white nor compared: the plain loop reads the table
}

bool classify_span(const Classifier& c, const std::uint8_t* in, std::uint32_t count,
                   std::uint8_t* row, std::uint32_t x) {
  // One at a time up to a byte boundary, then in whole bytes, then the rest one at a time.
  std::uint32_t i = 0;
  for (; i < count && (x + i) % 8 != 0; ++i) {
    if (!classify_pixel(c, in[i], row, x + i)) return false;
  }
  const std::uint32_t groups = (count - i) / 8;
  if (!classify_groups(c, in + i, groups, row + (x + i) / 8)) return false;
  for (i += groups * 8; i < count; ++i) {
    if (!classify_pixel(c, in[i], row, x + i)) return false;
  }
  return true;
}

}  // namespace curvlog
