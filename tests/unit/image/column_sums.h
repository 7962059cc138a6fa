#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "image/column_tally.h"
#include "image/data_bitmap.h"

namespace curvlog {

// The column sums a reader hands over with its bitmap must be those of the bitmap's rows:
// columns beyond a narrow stride hold nothing.
inline void expect_sums_of_bitmap(const DataBitmap& bitmap) {
  ASSERT_NE(bitmap.tallies, nullptr);
  for (std::int32_t x = 0; x < bitmap.width; ++x) {
    ColumnTally model{};
    for (std::int32_t y = 0; y < bitmap.height && std::uint32_t(x / 8) < bitmap.stride; ++y) {
      if (!bitmap.pixel(x, y)) continue;
      if (model.pixel_count++ == 0) model.top_row = std::uint16_t(y);
      model.bottom_row = std::uint16_t(y);
      model.height_sum += std::uint32_t(bitmap.height - 1 - y);
    }
    const ColumnTally& got = bitmap.tallies[x];
    ASSERT_EQ(got.pixel_count, model.pixel_count) << "column " << x;
    ASSERT_EQ(got.height_sum, model.height_sum) << "column " << x;
    if (model.pixel_count == 0) continue;
    ASSERT_EQ(got.top_row, model.top_row) << "column " << x;
    ASSERT_EQ(got.bottom_row, model.bottom_row) << "column " << x;
  }
}

}  // namespace curvlog
