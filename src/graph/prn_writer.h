#pragma once

#include <cstddef>
#include <cstdint>

#include "app/exit_code.h"
#include "app/settings.h"
#include "graph/column_scan.h"

namespace curvlog {

// A PRN line, CR LF included, fits 80 bytes with its terminator.
inline constexpr std::size_t kPrnLineCapacity = 80;

// Builds one PRN line with its CR LF (one of the four forms) into line. Returns its length, or
// -1 when it does not fit.
int format_prn_line(const ColumnRecord& record, std::uint32_t column_number, bool jump_shown,
                    double value, char separator, char (&line)[kPrnLineCapacity]);

// Creates the output file, writes one line per column that holds data and ends the run.
// Owns the table from here on; removes the file again after a cancellation.
Ending write_prn_file(ColumnTable& table, std::int32_t working_height, const RunSettings& settings);

// After a cancellation: deletes the output file if it exists.
void remove_output(const char* output_name);

}  // namespace curvlog
