#pragma once

#include <cstdint>

#include "base/exit_code.h"
#include "base/plot_frame.h"
#include "graph/column_scan.h"
#include "graph/line_file.h"

namespace curvlog {

// What the writer takes from the command line.
struct PrnOptions {
  const char* output_name = "";
  bool verbose = false;
  double high = 0.0;
  double low = 0.0;
  char decimal_separator = 0;       // 0 keeps the dot
  const AxisScale* rows = nullptr;  // /Y: the rows' own values instead of high and low
  std::int32_t row_offset = 0;      // the picture row of the top working row
};

// Creates the output file, writes one line per column that holds data and ends the run.
// Owns the table from here on; removes the file again after a cancellation.
Ending write_prn_file(ColumnTable& table, std::int32_t working_height, const PrnOptions& options);

// With /Y, before the output file is created: every row of a picture height rows high must
// have a value that a PRN line can hold. Ends the run with code 2 when one does not.
Ending check_row_values(const AxisScale& rows, std::int32_t height);

}  // namespace curvlog
