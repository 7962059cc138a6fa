#pragma once

// The CSV data file: a header line "x,y,holes,jump", then one line per column that holds data
// with its x-value, the value of its data pixels' exact mean row, its hole count and whether
// the curve jumps into it.

#include <cstdint>

#include "base/exit_code.h"
#include "base/plot_frame.h"
#include "graph/column_scan.h"

namespace curvlog {

// What the writer takes from the command line.
struct CsvOptions {
  const char* output_name = "";
  bool verbose = false;
  double high = 0.0;                   // the top working row's value, without /Y
  double low = 0.0;                    // the bottom working row's value, without /Y
  char decimal_separator = 0;          // 0 or '.': "." and ","; any other: it and ";"
  const AxisScale* rows = nullptr;     // /Y: the rows' own values instead of high and low
  std::int32_t row_offset = 0;         // the picture row of the top working row
  const AxisScale* columns = nullptr;  // /X: the columns' values; else the picture column
};

// Creates the output file, never over an existing one, writes the header and one line per
// column that holds data and ends the run, as write_prn_file does. Owns the table from here on.
Ending write_csv_file(ColumnTable& table, std::int32_t working_height, const CsvOptions& options);

}  // namespace curvlog
