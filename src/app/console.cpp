#include "app/console.h"

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

void print_usage() {
  print("Usage: CURVLOG.EXE [options] [<high> <low> [<input> [<output>]]]\n\n");
  print("Options (optional, case-insensitive, switch \"-\" or \"/\", color(s) range 0-255):\n\n");
  print("/?: usage instructions\n");
  print("/C: crop in order to use known real high and low\n");
  print("/D: use the system's decimal separator (default: dot)\n");
  print("/T: show 8bpp TGA color index values or use a black&white TGA input file\n");
  print("/V: verbose output, version number\n\n");
  print("/E<color(s)>: exclude comma-separated color index value(s) from list\n");
  print("/T<color(s)>: use a 8bpp TGA input file and CSV color index value(s)\n\n");
  print("high: highest possible y-axis value in the graph, for example 100\n");
  print("low:  lowest possible y-axis value in the graph, for example -100\n\n");
  print("input:  optional, name or filemask with wildcards of the PCX or TGA input file\n");
  print("output: optional, name of PRN output file (default: CURVLOG.PRN)\n\n");
}

}  // namespace curvlog
