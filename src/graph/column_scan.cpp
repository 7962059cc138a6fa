#include "graph/column_scan.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "base/cancel.h"
#include "base/console.h"

namespace curvlog {
namespace {

// The bytes of a row that hold pixel columns, and the mask of the last one's meaningful bits.
// A stride narrower than the width (a PCX header may declare one) only ever yields the columns
// its bytes hold: nothing is read beyond a row or beyond the block.
struct RowSpan {
  std::uint32_t bytes;
  std::uint8_t last_mask;
};

RowSpan row_span(const DataBitmap& bitmap) {
  const std::uint32_t width = std::uint32_t(bitmap.width);
  const std::uint32_t needed = width / 8 + (width % 8 != 0);
  if (bitmap.stride < needed) return {bitmap.stride, 0xFF};
  const std::uint8_t mask = width % 8 == 0 ? 0xFF : std::uint8_t(0xFF << (8 - width % 8));
  return {needed, mask};
}

// Adds the data pixels of row y to the records of their columns; height is the row's height
// above the bottom row. Rows come top-down, so the first data pixel of a column is its top one
// and the latest its bottom one: the same records as visiting each column from row 0 down,
// while the block is read in memory order. A curve leaves most of a row blank, so blank
// stretches are stepped over 64 bytes at a time, then eight, and only the set bits of a byte
// are visited: this loop reads the whole bitmap back from memory, and bench/run shows the
// stretches save a tenth of a PCX graph's time.
void add_row(const std::uint8_t* row, RowSpan span, std::uint16_t y, std::uint32_t height,
             ColumnRecord* records) {
  for (std::uint32_t i = 0; i < span.bytes;) {
    if (span.bytes - i >= 64) {
      std::uint64_t any = 0;
      for (std::uint32_t w = 0; w < 64; w += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + i + w, sizeof word);
        any |= word;
      }
      if (any == 0) {
        i += 64;
        continue;
      }
    }
    if (span.bytes - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, row + i, sizeof word);
      if (word == 0) {
        i += 8;
        continue;
      }
    }
    unsigned bits = i + 1 == span.bytes ? row[i] & span.last_mask : row[i];
    while (bits != 0) {
      const int lead = std::countl_zero(std::uint8_t(bits));
      ColumnRecord& record = records[i * 8 + std::uint32_t(lead)];
      if (record.pixel_count == 0) record.top_row = y;
      record.bottom_row = y;
      ++record.pixel_count;
      record.height_sum += height;
      bits &= ~(0x80u >> lead);
    }
    ++i;
  }
}

bool row_holds_data(const std::uint8_t* row, RowSpan span) {
  if (span.bytes == 0) return false;
  for (std::uint32_t i = 0; i + 1 < span.bytes; ++i) {
    if (row[i] != 0) return true;
  }
  return (row[span.bytes - 1] & span.last_mask) != 0;
}

// Fills the records from the bitmap's rows [0, height). False when cancelled: the cancel
// flag is polled once per row.
bool scan_rows(const DataBitmap& bitmap, std::int32_t height, ColumnRecord* records) {
  const RowSpan span = row_span(bitmap);
  for (std::int32_t y = 0; y < height; ++y) {
    if (cancel_requested()) return false;
    add_row(bitmap.row(y), span, std::uint16_t(y), std::uint32_t(height - 1 - y), records);
  }
  return true;
}

int sign(int difference) {
  return (difference > 0) - (difference < 0);
}

// One column's view of a neighbour that holds data: +1 for each of its edges that lies lower.
void compare_with_neighbour(ColumnRecord& own, const ColumnRecord& neighbour) {
  own.extreme_score = std::uint8_t(own.extreme_score + sign(neighbour.top_row - own.top_row) +
                                   sign(neighbour.bottom_row - own.bottom_row));
}

void release(ColumnTable& table) {
  table.records.reset();
  table.width = 0;
}

void report_no_data(const ScanOptions& options) {
  if (options.colour_list == nullptr) {
    print("\nError: no data pixels found in file %s\n\n", options.input_name);
    return;
  }
  print("\nError: no pixels (color index value(s): %s) found in file %s\n\n", options.colour_list,
        options.input_name);
}

}  // namespace

Ending crop_to_data(DataBitmap& bitmap, std::int32_t& working_height, std::int32_t& band_top) {
  band_top = 0;
  const RowSpan span = row_span(bitmap);
  const std::int32_t height = working_height;
  // The cancel flag is polled once per row, in both searches and in the move.
  auto cancelled = [&bitmap] {
    if (!cancel_requested()) return false;
    bitmap.pixels.reset();
    return true;
  };
  std::int32_t top = 0;
  for (; top < height; ++top) {
    if (cancelled()) return ExitCode::kSuccess;
    if (row_holds_data(bitmap.row(top), span)) break;
  }
  if (top == height) return kGoOn;  // no data pixel: the scan reports it
  std::int32_t bottom = height - 1;
  for (; bottom > top; --bottom) {
    if (cancelled()) return ExitCode::kSuccess;
    if (row_holds_data(bitmap.row(bottom), span)) break;
  }
  // Rows below the bottom one leave the working height, so only the band itself moves up.
  for (std::int32_t y = top; top > 0 && y <= bottom; ++y) {
    if (cancelled()) return ExitCode::kSuccess;
    std::memmove(bitmap.row(y - top), bitmap.row(y), span.bytes);
  }
  working_height = bottom - top + 1;
  band_top = top;
  return kGoOn;
}

Ending scan_columns(DataBitmap& bitmap, std::int32_t working_height, const ScanOptions& options,
                    ColumnTable& table) {
  const std::int32_t width = bitmap.width;
  const std::int32_t height = working_height;
  table.records = allocate_zeroed<ColumnRecord>(std::size_t(width));
  if (!table.records) {
    print("\nError: unable to allocate memory to calculate statistics\n\n");
    bitmap.pixels.reset();
    return ExitCode::kOutOfMemory;
  }
  table.width = width;
  ColumnRecord* const records = table.records.get();
  for (std::int32_t x = 0; x < width; ++x) {
    records[x].extreme_score = 4;
    // Heights reach 65536 rows at most (16-bit image windows), so H - 1 fits.
    records[x].top_row = std::uint16_t(height - 1);
  }

  const bool scanned = scan_rows(bitmap, height, records);
  bitmap.pixels.reset();
  if (!scanned) {
    release(table);
    return ExitCode::kSuccess;
  }

  bool any_data = false;
  for (std::int32_t x = 0; x < width; ++x) {
    ColumnRecord& record = records[x];
    if (record.pixel_count > 0) {
      any_data = true;
      record.gap_count = record.bottom_row - record.top_row + 1u - record.pixel_count;
    }
    if (x == 0) continue;
    // Also against an empty column (top H - 1, bottom 0); the writer only shows a jump whose
    // previous column holds data. Bands one row apart touch and do not jump.
    const ColumnRecord& previous = records[x - 1];
    if (record.top_row > previous.bottom_row + 1 || record.bottom_row + 1 < previous.top_row) {
      record.jump = true;
    }
  }

  if (!any_data) {
    report_no_data(options);
    release(table);
    return ExitCode::kInvalidContent;
  }
  // One row maps every column to 0 / (H - 1) = 0 / 0: there is no scale to put values on,
  // unless the rows carry their own values.
  if (height == 1 && !options.rows_have_values) {
    print(
        "\nError: the graph in file %s is only one pixel row high, so its values cannot be "
        "scaled\n\n",
        options.input_name);
    release(table);
    return ExitCode::kInvalidContent;
  }
  return kGoOn;
}

Ending mark_extremes(ColumnTable& table) {
  ColumnRecord* const records = table.records.get();
  const std::int32_t width = table.width;
  // With one column there are no pairs: the loop below is skipped and one poll remains.
  for (std::int32_t x = 0; x + 1 < width; ++x) {
    if (cancel_requested()) {
      release(table);
      return ExitCode::kSuccess;
    }
    ColumnRecord& left = records[x];
    ColumnRecord& right = records[x + 1];
    if (left.pixel_count == 0 || right.pixel_count == 0) continue;
    compare_with_neighbour(left, right);
    compare_with_neighbour(right, left);
  }
  if (cancel_requested()) {
    release(table);
    return ExitCode::kSuccess;
  }
  for (std::int32_t x = 0; x < width; ++x) {
    ColumnRecord& record = records[x];
    if (record.pixel_count == 0 || record.extreme_score == 4) continue;
    // A peak is valued by its top edge, a valley by its bottom edge, not by the mean.
    record.valued_by = record.extreme_score > 4 ? ValuedBy::kTopRow : ValuedBy::kBottomRow;
  }
  return kGoOn;
}

std::uint32_t valued_height(const ColumnRecord& record, std::int32_t working_height) {
  const std::uint32_t bottom_height = std::uint32_t(working_height - 1);
  if (record.valued_by == ValuedBy::kTopRow) return bottom_height - record.top_row;
  if (record.valued_by == ValuedBy::kBottomRow) return bottom_height - record.bottom_row;
  // The writer asks only for columns with data; an empty record counts as height 0 rather
  // than dividing by zero. The remainder of the mean is dropped.
  return record.pixel_count != 0 ? record.height_sum / record.pixel_count : 0;
}

double column_value(const ColumnRecord& record, std::int32_t working_height, double high,
                    double low) {
  const std::uint32_t bottom_height = std::uint32_t(working_height - 1);
  // In this order, so that values round exactly alike on every build. The 0.0001 lifts a
  // value that lies on a half-hundredth clear of it, so that two decimals round it up.
  const double q = double(valued_height(record, working_height)) / double(bottom_height);
  const double d = high - low;
  const double b = low + 0.0001;
  return q * d + b;
}

double column_value(const ColumnRecord& record, std::int32_t working_height, const AxisScale& rows,
                    std::int32_t row_offset) {
  const std::int32_t height = std::int32_t(valued_height(record, working_height));
  return rows.at(double(row_offset + working_height - 1 - height)) + 0.0001;
}

double mean_height(const ColumnRecord& record) {
  return double(record.height_sum) / double(record.pixel_count);
}

}  // namespace curvlog
