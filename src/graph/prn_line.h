#pragma once

#include <cstddef>
#include <cstdint>

namespace curvlog {

// A PRN line, CR LF included, fits 80 bytes with its terminator.
inline constexpr std::size_t kPrnLineCapacity = 80;

// Builds one PRN line with its CR LF into line, in one of the four forms "%5d %11.2lf %5lu
// %5lu-%lu", "%5d %11.2lf       %5lu-%lu", "%5d %11.2lf %5lu" and "%5d %11.2lf" (with and
// without gaps and a jump), the value's point replaced by separator when it is not 0. A jump
// shows as the previous column's number, a hyphen and this one's. Returns the line's length,
// or -1 when it does not fit.
int format_prn_line(std::uint32_t column_number, double value, std::uint32_t gap_count,
                    bool jump_shown, char separator, char (&line)[kPrnLineCapacity]);

}  // namespace curvlog
