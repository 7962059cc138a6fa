// PRN lines put together field by field: a printf per line showed in the profile of long
// graphs. The value goes through to_chars, which prints what "%.2lf" prints.

#include "graph/prn_line.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "base/number_text.h"

namespace curvlog {
namespace {

char* put_padded(char* at, const char* text, std::size_t length, std::size_t width) {
  if (length < width) at = std::fill_n(at, width - length, ' ');
  return std::copy_n(text, length, at);
}

// A whole number right-aligned in width characters (a minimum: longer numbers take more).
template <typename Number>
char* put_field(char* at, Number number, std::size_t width) {
  char digits[24];
  const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, number);
  return put_padded(at, digits, std::size_t(result.ptr - digits), width);
}

}  // namespace

int format_prn_line(std::uint32_t column_number, double value, std::uint32_t gap_count,
                    bool jump_shown, char separator, char (&line)[kPrnLineCapacity]) {
  // The fields as the four forms print them, the line end after them.
  char text[2 * kNumberBufferSize];
  char* at = put_field(text, int(column_number), 5);
  *at++ = ' ';
  char number[kNumberBufferSize];
  const std::to_chars_result value_text =
      std::to_chars(number, number + sizeof number - 1, value, std::chars_format::fixed, 2);
  if (value_text.ec != std::errc{}) {
    line[0] = '\0';
    return -1;
  }
  *value_text.ptr = '\0';
  // The value holds the line's only "." (the other fields are whole numbers).
  substitute_separator(number, separator);
  at = put_padded(at, number, std::size_t(value_text.ptr - number), 11);
  if (gap_count != 0) {
    *at++ = ' ';
    at = put_field(at, gap_count, 5);
  } else if (jump_shown) {
    // Five blanks for the missing gap count keep the jump in line with the full form.
    at = std::copy_n("      ", 6, at);
  }
  if (jump_shown) {
    *at++ = ' ';
    at = put_field(at, column_number - 1, 5);
    *at++ = '-';
    at = put_field(at, column_number, 0);
  }
  *at++ = '\r';
  *at++ = '\n';
  // Like the buffer formatter: a line that does not fit with its terminator is refused.
  const std::size_t length = std::size_t(at - text);
  if (length >= sizeof line) {
    line[0] = '\0';
    return -1;
  }
  std::memcpy(line, text, length);
  line[length] = '\0';
  return int(length);
}

}  // namespace curvlog
