#pragma once

// The plot area (/R) and the masks (/M) applied to the data bitmap before the scan.

#include <cstdint>

#include "base/exit_code.h"
#include "base/plot_frame.h"
#include "image/data_bitmap.h"

namespace curvlog {

// Whether the frame's area, clipped to a width x height picture, holds a pixel of it (a frame
// without an area holds the whole picture).
bool frame_holds_pixels(const PlotFrame& frame, std::int32_t width, std::int32_t height);

// The message for an area that holds no pixel of the picture; returns code 6.
ExitCode report_area_outside(const PlotFrame& frame, std::int32_t width, std::int32_t height,
                             const char* input_name);

// Clears every data pixel outside the area and inside a mask, then moves the area's rows to
// the top of the bitmap, so that the scan and /C see the area as a picture of its height
// whose columns stay the picture's. Sets row_offset to the picture row of the top working row
// and working_height to the area's height; without an area, only the masks are applied (0 and
// the picture's height). An area that holds no pixel leaves no working row. Ends on
// cancellation, the bitmap freed.
Ending apply_frame(const PlotFrame& frame, DataBitmap& bitmap, std::int32_t& row_offset,
                   std::int32_t& working_height);

}  // namespace curvlog
