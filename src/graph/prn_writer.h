#pragma once

#include <cstdint>

#include "base/exit_code.h"
#include "graph/column_scan.h"

namespace curvlog {

// What the writer takes from the command line.
struct PrnOptions {
  const char* output_name = "";
  bool verbose = false;
  double high = 0.0;
  double low = 0.0;
  char decimal_separator = 0;  // 0 keeps the dot
};

// Creates the output file, writes one line per column that holds data and ends the run.
// Owns the table from here on; removes the file again after a cancellation.
Ending write_prn_file(ColumnTable& table, std::int32_t working_height, const PrnOptions& options);

// After a cancellation: deletes the output file if it exists.
void remove_output(const char* output_name);

}  // namespace curvlog
