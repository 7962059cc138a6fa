#pragma once

#include <cstddef>
#include <cstdint>

#include "graph/column_scan.h"

namespace curvlog {

// A PRN line, CR LF included, fits 80 bytes with its terminator.
inline constexpr std::size_t kPrnLineCapacity = 80;

// Builds one PRN line with its CR LF into line, in one of the four forms "%5d %11.2lf %5lu
// %5lu-%lu", "%5d %11.2lf       %5lu-%lu", "%5d %11.2lf %5lu" and "%5d %11.2lf" (with and
// without gaps and a jump), the value's point replaced by separator when it is not 0. Returns
// its length, or -1 when it does not fit.
int format_prn_line(const ColumnRecord& record, std::uint32_t column_number, bool jump_shown,
                    double value, char separator, char (&line)[kPrnLineCapacity]);

}  // namespace curvlog
