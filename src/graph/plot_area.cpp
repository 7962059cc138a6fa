#include "graph/plot_area.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/cancel.h"
#include "base/console.h"

namespace curvlog {
namespace {

PixelBox clipped_area(const PlotFrame& frame, std::int32_t width, std::int32_t height) {
  const PixelBox picture{0, 0, width - 1, height - 1};
  return frame.has_area ? frame.area.clipped(width, height) : picture;
}

// Clears the bits of columns first to last (inclusive, first <= last) of a row.
void clear_columns(std::uint8_t* row, std::int32_t first, std::int32_t last) {
  const std::int32_t first_byte = first / 8;
  const std::int32_t last_byte = last / 8;
  const auto head = std::uint8_t(0xFF >> first % 8);       // first's bit and those after it
  const auto tail = std::uint8_t(0xFF << (7 - last % 8));  // last's bit and those before it
  if (first_byte == last_byte) {
    row[first_byte] &= std::uint8_t(~(head & tail));
    return;
  }
  row[first_byte] &= std::uint8_t(~head);
  std::memset(row + first_byte + 1, 0, std::size_t(last_byte - first_byte - 1));
  row[last_byte] &= std::uint8_t(~tail);
}

}  // namespace

bool frame_holds_pixels(const PlotFrame& frame, std::int32_t width, std::int32_t height) {
  return !clipped_area(frame, width, height).empty();
}

ExitCode report_area_outside(const PlotFrame& frame, std::int32_t width, std::int32_t height,
                             const char* input_name) {
  const PixelBox& area = frame.area;
  print("\nError: the plot area %d,%d,%d,%d holds no pixel of the %dx%d picture in file %s\n\n",
        int(area.left), int(area.top), int(area.right), int(area.bottom), int(width), int(height),
        input_name);
  return ExitCode::kInvalidContent;
}

Ending apply_frame(const PlotFrame& frame, DataBitmap& bitmap, std::int32_t& row_offset,
                   std::int32_t& working_height) {
  row_offset = 0;
  working_height = bitmap.height;
  if (!frame.has_area && frame.mask_count == 0) return kGoOn;
  // Columns past the row's bytes (a PCX stride may be narrower than the width) hold no data.
  std::int32_t width = bitmap.width;
  if (std::int64_t(bitmap.stride) * 8 < width) width = std::int32_t(bitmap.stride * 8);
  const PixelBox area = clipped_area(frame, bitmap.width, bitmap.height);
  if (area.empty()) {
    working_height = 0;
    return kGoOn;
  }
  const std::int32_t left = area.left < width ? area.left : width;
  // The masks as far as they lie inside the picture's rows and the row bytes.
  PixelBox masks[kMaxMasks];
  unsigned mask_count = 0;
  for (unsigned i = 0; i < frame.mask_count && i < kMaxMasks; ++i) {
    const PixelBox mask = frame.masks[i].clipped(width, bitmap.height);
    if (!mask.empty()) masks[mask_count++] = mask;
  }
  const std::size_t row_bytes = (std::size_t(width) + 7) / 8;
  for (std::int32_t y = area.top; y <= area.bottom; ++y) {
    if (cancel_requested()) {
      bitmap.pixels.reset();
      return ExitCode::kSuccess;
    }
    std::uint8_t* const row = bitmap.row(y);
    if (left > 0) clear_columns(row, 0, left - 1);
    if (area.right < width - 1) clear_columns(row, area.right + 1, width - 1);
    for (unsigned i = 0; i < mask_count; ++i) {
      const PixelBox& mask = masks[i];
      if (y >= mask.top && y <= mask.bottom) clear_columns(row, mask.left, mask.right);
    }
    if (area.top > 0) std::memmove(bitmap.row(y - area.top), row, row_bytes);
  }
  row_offset = area.top;
  working_height = area.bottom - area.top + 1;
  return kGoOn;
}

}  // namespace curvlog
