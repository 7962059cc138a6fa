#pragma once

#include <cstddef>

#include "base/colour_table.h"
#include "base/plot_frame.h"
#include "platform/platform.h"

namespace curvlog {

inline constexpr char kDefaultOutputName[] = "CURVLOG.PRN";

// Filled by the command-line stages and read by every later stage. What is on or off is a
// flag; an option argument is kept as typed only where a message quotes it after parsing.
struct RunSettings {
  int argument_count = 0;
  char* const* arguments = nullptr;  // argv; element 0 is never examined

  bool verbose = false;               // /V
  bool crop = false;                  // /C
  bool use_system_separator = false;  // /D
  bool tga_input = false;             // /T, with or without a colour list
  bool colour_list_given = false;     // the last /T carried a list
  bool exclude = false;               // /E
  char decimal_separator = 0;         // 0: numbers keep the dot

  // Arguments as typed, for the messages that quote them once parsing is over.
  const char* crop_argument = "";     // the last /C: the combination error
  const char* tga_argument = "";      // the last /T: the combination error, the 1-bit refusal
  const char* exclude_argument = "";  // the last /E: refused outside the census
  const char* selected_text = "";     // the last /T list, after "/T": the no-data message
  ColourList selected{};              // /T<list>
  ColourList excluded{};              // /E<list>

  // The plot in the picture's pixel coordinates. With rows the run takes no high and low: the
  // positional arguments are [<input> [<output>]].
  PlotFrame frame{};                       // /R (frame.has_area) and /M
  bool has_rows = false;                   // /Y
  AxisScale rows{};                        // a row's value
  bool has_columns = false;                // /X
  AxisScale columns{};                     // a column's x-value in the CSV file
  const char* rows_argument = "";          // the last /Y: the combination error
  const char* columns_argument = "";       // the last /X: the census and CSV errors
  const char* overlay_argument = nullptr;  // the last /O, or nullptr: no overlay picture

  int option_count = 0;
  bool census_mode = false;
  double high = 0.0;
  double low = 0.0;
  char output_name[platform::kPathCapacity] = "";
  char input_name[platform::kPathCapacity] = "";
  bool csv_output = false;  // the output name ends in ".csv", in any case
  char overlay_name[platform::kPathCapacity] = "";  // set with the output name when /O is given

  // The n-th positional argument (0-based), after the option arguments.
  const char* positional(int n) const { return arguments[1 + option_count + n]; }
  int positional_count() const { return argument_count - 1 - option_count; }
};

}  // namespace curvlog
