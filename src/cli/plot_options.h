#pragma once

// The lists of the options that describe the plot in the picture: /R, /M, /Y and /X. Their
// numbers always use "." (a comma separates the items), whatever /D says.

#include "base/exit_code.h"
#include "base/plot_frame.h"

namespace curvlog {

// Which reference pixels an /Y or /X list names.
enum class AxisKind { kRows, kColumns };

// "/R<left>,<top>,<right>,<bottom>": whole pixel indices, possibly negative, with
// left <= right and top <= bottom.
Ending parse_area(const char* argument, PixelBox& area);

// "/M<left>,<top>,<right>,<bottom>[,...]": one box per four numbers, as for /R, at most
// kMaxMasks boxes. Replaces the masks of frame.
Ending parse_masks(const char* argument, PlotFrame& frame);

// "/Y<row>=<value>,<row>=<value>[,log]" or the same for /X: two distinct finite pixel
// positions with two distinct finite values, both above 0 on a log axis.
Ending parse_axis(const char* argument, AxisKind kind, AxisScale& scale);

}  // namespace curvlog
