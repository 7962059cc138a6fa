#include "base/console.h"

#include <cstdarg>
#include <cstdio>

namespace curvlog {

void print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stdout, format, arguments);
  va_end(arguments);
}

int format_into(char* buffer, std::size_t capacity, const char* format, ...) {
  if (capacity == 0) return -1;
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, capacity, format, arguments);
  va_end(arguments);
  // Like a bounds-checked sprintf: a text that does not fit is an error, not a truncation.
  if (length < 0 || static_cast<std::size_t>(length) >= capacity) {
    buffer[0] = '\0';
    return -1;
  }
  return length;
}

}  // namespace curvlog
