#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "image/data_bitmap.h"

namespace curvlog {

// Per pixel column: what the data pixels of a band of bitmap rows add up to. The column scan
// makes its records from these sums. The readers add each row while it is still in the
// processor's cache and hand the sums over with the bitmap (its tallies), so that the scan
// need not read the whole bitmap back from memory.
struct ColumnTally {
  std::uint32_t pixel_count;
  std::uint32_t height_sum;  // of (height - 1 - y) over the data pixels at rows y
  std::uint16_t top_row;     // both meaningful only when pixel_count is not 0
  std::uint16_t bottom_row;
};

// The bytes of a row that hold pixel columns, and the mask of the last one's meaningful bits.
// A stride narrower than the width (a PCX header may declare one) only ever yields the columns
// its bytes hold: nothing is read beyond a row or beyond the block.
struct RowSpan {
  std::uint32_t bytes;
  std::uint8_t last_mask;
};

inline RowSpan row_span(const DataBitmap& bitmap) {
  const std::uint32_t width = std::uint32_t(bitmap.width);
  const std::uint32_t needed = width / 8 + (width % 8 != 0);
  if (bitmap.stride < needed) return {bitmap.stride, 0xFF};
  const std::uint8_t mask = width % 8 == 0 ? 0xFF : std::uint8_t(0xFF << (8 - width % 8));
  return {needed, mask};
}

inline std::uint64_t load_word(const std::uint8_t* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Adds the data pixels of row y to the sums of their columns, in a ColumnTally or in any record
// with the same four fields; height is the row's height above the bottom row. Rows must come
// top-down. A curve leaves most of a row blank, so zero words are stepped over eight at a time,
// then one at a time, and only the set bits of a byte are visited.
template <typename Record>
void add_row(const std::uint8_t* row, RowSpan span, std::uint16_t y, std::uint32_t height,
             Record* records) {
  std::uint32_t i = 0;
  while (i < span.bytes) {
    if (span.bytes - i >= 64) {
      std::uint64_t any = 0;
      for (std::uint32_t w = 0; w < 64; w += 8) any |= load_word(row + i + w);
      if (any == 0) {
        i += 64;
        continue;
      }
    }
    if (span.bytes - i >= 8 && load_word(row + i) == 0) {
      i += 8;
      continue;
    }
    unsigned bits = i + 1 == span.bytes ? row[i] & span.last_mask : row[i];
    while (bits != 0) {
      const int lead = std::countl_zero(std::uint8_t(bits));
      Record& record = records[i * 8 + std::uint32_t(lead)];
      // Rows arrive top-down, so the first data pixel of a column is its top one and the latest
      // its bottom one: the same minimum and maximum as a column visited from row 0 down.
      if (record.pixel_count == 0) record.top_row = y;
      record.bottom_row = y;
      ++record.pixel_count;
      record.height_sum += height;
      bits &= ~(0x80u >> lead);
    }
    ++i;
  }
}

// The column sums a reader builds over the rows it decodes, each row once it is complete
// (top-down within a band of rows), and hands over with the bitmap. Without memory for them it
// sums nothing and hands over none: the column scan then reads the bitmap.
class ColumnSums {
 public:
  explicit ColumnSums(const DataBitmap& bitmap)
      : span_(row_span(bitmap)),
        width_(bitmap.width),
        height_(bitmap.height),
        tallies_(static_cast<ColumnTally*>(
            std::calloc(bitmap.width > 0 ? std::size_t(bitmap.width) : 1, sizeof(ColumnTally)))) {}

  bool ready() const { return tallies_ != nullptr; }

  // Adds the finished row y.
  void add(const std::uint8_t* row, std::int32_t y) {
    if (!tallies_) return;
    add_row(row, span_, std::uint16_t(y), std::uint32_t(height_ - 1 - y), tallies_.get());
  }

  // Takes in the sums of a band of rows that all lie below this one's: the result is the sums
  // of both.
  void join_lower(const ColumnSums& lower) {
    ColumnTally* const upper = tallies_.get();
    for (std::int32_t x = 0; x < width_; ++x) {
      const ColumnTally& below = lower.tallies_[x];
      if (below.pixel_count == 0) continue;
      if (upper[x].pixel_count == 0) upper[x].top_row = below.top_row;
      upper[x].bottom_row = below.bottom_row;
      upper[x].pixel_count += below.pixel_count;
      upper[x].height_sum += below.height_sum;
    }
  }

  void hand_over(DataBitmap& bitmap) { bitmap.tallies = std::move(tallies_); }

 private:
  RowSpan span_;
  std::int32_t width_;
  std::int32_t height_;
  std::unique_ptr<ColumnTally[], FreeDeleter> tallies_;
};

}  // namespace curvlog
