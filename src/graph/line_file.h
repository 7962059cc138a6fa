#pragma once

// What the data files share: one text line per column that holds data, after an optional
// header line, written in blocks into a file that is created new, and removed again after a
// cancellation.

#include <cstdint>

#include "base/exit_code.h"
#include "graph/column_scan.h"
#include "graph/prn_line.h"

namespace curvlog {

// What a data file makes of a column.
class ColumnLineFormat {
 public:
  // Builds the line of column x (which holds data), line end included, into line and returns
  // its length, or -1 when it does not fit.
  virtual int column_line(const ColumnRecord* records, std::int32_t x,
                          char (&line)[kPrnLineCapacity]) const = 0;

 protected:
  ~ColumnLineFormat() = default;
};

struct LineFileOptions {
  const char* output_name = "";
  bool verbose = false;
  const char* header = nullptr;  // the first line, line end included; null for none
};

// Creates the output file, never over an existing one, writes the header and one line per
// column that holds data, and ends the run. Owns the table from here on.
Ending write_line_file(ColumnTable& table, const LineFileOptions& options,
                       const ColumnLineFormat& format);

// Whether the data files mark a jump into column x: a jump from an empty column is no jump of
// the curve.
inline bool jump_shown(const ColumnRecord* records, std::int32_t x) {
  return x > 0 && records[x - 1].pixel_count != 0 && records[x].jump;
}

// After a cancellation: deletes the output file if it exists.
void remove_output(const char* output_name);

}  // namespace curvlog
