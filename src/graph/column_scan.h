#pragma once

#include <cstdint>

#include "base/exit_code.h"
#include "base/owners.h"
#include "base/plot_frame.h"
#include "image/data_bitmap.h"

namespace curvlog {

// Which height stands for a column: the mean of its data pixels, or for a local peak its top
// edge and for a local valley its bottom edge.
enum class ValuedBy : std::uint8_t { kMean, kTopRow, kBottomRow };

// The statistics of one pixel column.
struct ColumnRecord {
  std::uint32_t pixel_count;   // data pixels
  std::uint32_t gap_count;     // background pixels between top_row and bottom_row
  std::uint32_t height_sum;    // sum of the data pixels' heights above the bottom row
  std::uint16_t top_row;       // smallest data row; starts at H - 1
  std::uint16_t bottom_row;    // largest data row; starts at 0
  std::uint8_t extreme_score;  // 4, moved by the comparisons with the neighbours
  bool jump;                   // the data bands of this column and the previous one are apart
  ValuedBy valued_by;          // set by mark_extremes
};

// One zero-filled record per pixel column.
struct ColumnTable {
  std::int32_t width = 0;
  CArray<ColumnRecord> records;
};

// What the scan names when it finds nothing to digitise.
struct ScanOptions {
  const char* input_name = "";
  const char* colour_list = nullptr;  // the /T list as typed, after "/T"; null without one
  bool rows_have_values = false;      // /Y: a single row is valued too
};

// /C: moves the band of rows holding data to the top, sets working_height to its height and
// band_top to the working row it came from. Leaves everything as it is (band_top 0) when the
// bitmap holds no data pixel. Ends on cancellation.
Ending crop_to_data(DataBitmap& bitmap, std::int32_t& working_height, std::int32_t& band_top);

// Builds the table from the bitmap's first working_height rows, then frees the bitmap.
// Ends the run on a refused allocation (7), an image without data pixels or with a working
// height of one row (6), and a cancellation (0).
Ending scan_columns(DataBitmap& bitmap, std::int32_t working_height, const ScanOptions& options,
                    ColumnTable& table);

// Marks local peaks and valleys so that their outer edge is valued instead of the mean; the
// records keep their counts and sums.
Ending mark_extremes(ColumnTable& table);

// The height above the bottom working row that stands for a column with data: the mean of its
// data pixels' heights without its remainder, or the edge that mark_extremes chose.
std::uint32_t valued_height(const ColumnRecord& record, std::int32_t working_height);

// The column's y-value between low (bottom row) and high (top row), plus 0.0001.
double column_value(const ColumnRecord& record, std::int32_t working_height, double high,
                    double low);

// The same through the rows' own values (/Y): the value of the valued height's picture row,
// the working rows starting at picture row row_offset, plus 0.0001.
double column_value(const ColumnRecord& record, std::int32_t working_height, const AxisScale& rows,
                    std::int32_t row_offset);

// The exact mean height of the column's data pixels above the bottom working row.
double mean_height(const ColumnRecord& record);

}  // namespace curvlog
