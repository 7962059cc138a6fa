#pragma once

// The overlay picture: a PNG file of the input picture's size that shows what the run made of
// it, to be laid beside the picture or over it. The picture is lightened to a pale grey, the
// data pixels are tinted, each output value is marked at its column, and the plot area and
// the masks are outlined.

#include <cstddef>
#include <cstdint>

#include "base/exit_code.h"
#include "base/plot_frame.h"
#include "graph/column_scan.h"

namespace curvlog {

// What the overlay shows, as the run kept it.
struct OverlayPicture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // One byte per pixel, row by row from the top: bits 1 to 7 hold the pixel's grey level
  // halved, bit 0 is set for a data pixel.
  const std::uint8_t* plane = nullptr;
  // One per column: the picture row of the column's output value (a pixel's centre is its
  // index), NaN where the column has none.
  const double* mark_rows = nullptr;
  const PixelBox* area = nullptr;  // the plot area, or null for none
  const PixelBox* masks = nullptr;
  std::size_t mask_count = 0;
};

struct OverlayOptions {
  const char* output_name = "";
};

// The overlay's colours (red, green, blue), drawn in this order, each over the ones before.
// The four stay apart for eyes that confuse red and green, and from the pale grey.
struct OverlayColour {
  std::uint8_t red, green, blue;
};
inline constexpr std::uint8_t kOverlayLightest = 255;           // grey level 255 stays white
inline constexpr std::uint8_t kOverlayDarkest = 176;            // grey level 0 becomes this grey
inline constexpr OverlayColour kOverlayData{0x56, 0xB4, 0xE9};  // sky blue
inline constexpr OverlayColour kOverlayMask{0xCC, 0x79, 0xA7};  // purple
inline constexpr OverlayColour kOverlayArea{0x00, 0x9E, 0x73};  // green
inline constexpr OverlayColour kOverlayMark{0xD5, 0x5E, 0x00};  // red-orange

// How far a column's mark reaches above and below its row: 1 pixel, one more for every 4096
// pixels of the picture's longer side, so that it stays visible when a big picture is viewed
// whole (11 rows on a side of 16384).
std::int32_t overlay_mark_reach(std::uint32_t width, std::uint32_t height);

// Sets rows[x], for each column x of the table, to the picture row of the column's output
// value, NaN where the column holds no data: the exact mean row for the CSV file (exact), the
// valued height's row for the PRN file. The working rows start at picture row row_offset plus
// crop_offset (/C's band). Call it before the data file is written: the writer frees the table.
void fill_mark_rows(const ColumnTable& table, std::int32_t working_height, std::int32_t row_offset,
                    std::int32_t crop_offset, bool exact, double* rows);

// Writes the overlay file, never over an existing file, and reports it created. A file that
// cannot be written in full is removed again, as after a cancellation.
Ending write_overlay(const OverlayOptions& options, const OverlayPicture& picture);

// The memory for the overlay (its plane, its marks or its row) refused: prints the message and
// returns code 7.
ExitCode report_overlay_out_of_memory(const char* overlay_name);

}  // namespace curvlog
