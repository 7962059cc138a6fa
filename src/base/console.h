#pragma once

#include <cstddef>

#if defined(__MINGW32__) && !defined(__clang__)
// GCC for mingw-w64 checks "printf" formats as the system's; the program prints with
// mingw-w64's own C99 printf (__USE_MINGW_ANSI_STDIO).
#define CURVLOG_PRINTF(format_index, first_arg) \
  __attribute__((format(gnu_printf, format_index, first_arg)))
#elif defined(__GNUC__) || defined(__clang__)
#define CURVLOG_PRINTF(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define CURVLOG_PRINTF(format_index, first_arg)
#endif

namespace curvlog {

// The console printer: every message of the program goes through it to standard output.
// The program never changes its locale, so floating-point output always uses ".".
void print(const char* format, ...) CURVLOG_PRINTF(1, 2);

// The buffer formatter: formats into buffer (capacity bytes, terminator included) and returns
// the length written, or -1 when the text does not fit or formatting fails. On -1 the buffer
// holds an empty string.
int format_into(char* buffer, std::size_t capacity, const char* format, ...) CURVLOG_PRINTF(3, 4);

}  // namespace curvlog
