#pragma once

#include "base/exit_code.h"
#include "image/colour_counts.h"
#include "image/reader_options.h"

namespace curvlog {

// The census of a picture without index values: its main colours. The colours, most pixels
// first (ties: the lower #RRGGBB first), gather into groups: each joins the first group made
// whose first colour lies within 60 of it, or starts one. An empty line, then the groups by
// their pixels (ties as above), at most 32 lines "     #RRGGBB  count  share%" naming each
// group by its first colour, and one line "     others" for the groups left. Pixels of the /E
// list's colour items count nowhere. Ends the run: 0, 6 when no pixel counts, 7 when memory is
// refused.
ExitCode list_main_colours(const ColourCounts& counts, const ReaderOptions& options);

// The census's table of colours could not be had: prints so and returns code 7.
ExitCode report_colour_table_refused();

}  // namespace curvlog
