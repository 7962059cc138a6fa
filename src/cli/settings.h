#pragma once

#include <cstddef>

#include "base/colour_table.h"
#include "platform/platform.h"

namespace curvlog {

inline constexpr char kDefaultOutputName[] = "CURVLOG.PRN";

// Filled by the command-line stages and read by every later stage.
//
// An option position is the 1-based index in the argument vector of the argument that last
// set the option, 0 when the option is absent: it is both the on/off flag and the way messages
// quote the option exactly as typed (int, so nothing wraps on long command lines).
struct RunSettings {
  int argument_count = 0;
  char* const* arguments = nullptr;  // argv; element 0 is never examined

  int verbose = 0;                 // /V
  int crop = 0;                    // /C
  int use_system_separator = 0;    // /D
  char decimal_separator = 0;      // 0: numbers keep the dot
  int tga_option = 0;              // /T, with or without a colour list
  bool colour_list_given = false;  // the last /T carried a list
  ColourTable selected_colours{};  // /T<list>
  int exclude_option = 0;          // /E
  ColourTable excluded_colours{};  // /E<list>
  int option_count = 0;
  bool census_mode = false;
  double high = 0.0;
  double low = 0.0;
  char output_name[platform::kPathCapacity] = "CURVLOG.PRN";
  char input_name[platform::kPathCapacity] = "";

  // The argument at an option position or positional index, exactly as typed.
  const char* argument(int index) const { return arguments[index]; }
  // The n-th positional argument (0-based), after the option arguments.
  const char* positional(int n) const { return arguments[1 + option_count + n]; }
  int positional_count() const { return argument_count - 1 - option_count; }
};

}  // namespace curvlog
