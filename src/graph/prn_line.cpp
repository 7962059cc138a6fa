// PRN lines put together by hand: a printf per line showed in the profile of long graphs. The
// tests compare every form with what the standard formatter prints, for values of every
// magnitude.

#include "graph/prn_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/console.h"
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

// The value as "%.2lf" prints it: the decimal expansion of the double, rounded to the nearest
// hundredth. Into text (NUL-terminated); returns the length, or -1 when it does not fit.
//
// For magnitudes below 2^40 the hundredths are worked out here: p = |value| x 100 is within
// p x 2^-53 of the exact product, so unless its fraction lies within p x 2^-50 of one half the
// nearest whole number of hundredths is the same for p and for the exact product, and printf
// prints exactly that. Near a half (a possible tie), and for huge, infinite or undefined
// values, printf itself decides.
int format_two_decimals(double value, char (&text)[kNumberBufferSize]) {
  const double magnitude = std::fabs(value);
  if (magnitude < 0x1p40) {
    const double hundredths = magnitude * 100.0;
    const double whole = std::floor(hundredths);
    const double fraction = hundredths - whole;
    if (std::fabs(fraction - 0.5) > hundredths * 0x1p-50) {
      const std::uint64_t n = std::uint64_t(whole) + (fraction > 0.5 ? 1 : 0);
      char* at = text;
      if (std::signbit(value)) *at++ = '-';
      at = std::to_chars(at, text + sizeof text, n / 100).ptr;
      *at++ = '.';
      *at++ = char('0' + n % 100 / 10);
      *at++ = char('0' + n % 10);
      *at = '\0';
      return int(at - text);
    }
  }
  return format_into(text, sizeof text, "%.2lf", value);
}

}  // namespace

int format_prn_line(const ColumnRecord& record, std::uint32_t column_number, bool jump_shown,
                    double value, char separator, char (&line)[kPrnLineCapacity]) {
  // The fields as the four forms print them, the line end after them.
  char text[2 * kNumberBufferSize];
  char* at = put_field(text, int(column_number), 5);
  *at++ = ' ';
  char number[kNumberBufferSize];
  const int value_length = format_two_decimals(value, number);
  if (value_length < 0) {
    line[0] = '\0';
    return -1;
  }
  // The value holds the line's only "." (the other fields are whole numbers).
  substitute_separator(number, separator);
  at = put_padded(at, number, std::size_t(value_length), 11);
  if (record.gap_count != 0) {
    *at++ = ' ';
    at = put_field(at, record.gap_count, 5);
  } else if (jump_shown) {
    // Five blanks for the missing gap count keep the jump in line with the full form.
    at = std::copy_n("      ", 6, at);
  }
  if (jump_shown) {
    *at++ = ' ';
    at = put_field(at, record.jump_from, 5);
    *at++ = '-';
    at = put_field(at, record.jump_to, 0);
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
