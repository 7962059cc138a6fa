#include "cli/value_range.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/console.h"
#include "base/number_text.h"
#include "cli/options.h"

namespace curvlog {
namespace {

// A PRN line is at most 24 characters plus the "%11.2lf" value text, and must stay within 79
// characters; a magnitude below 1e48 formats to at most 53 characters.
constexpr double kRangeLimit = 1e48;

// "%lf" of the largest double is about 320 characters, so the echo buffer holds any value.
constexpr std::size_t kEchoBufferSize = 400;

void echo_value(const char* label, double value, char separator) {
  char line[kEchoBufferSize];
  if (format_into(line, sizeof line, "%s: %lf", label, value) < 0) return;
  substitute_separator(line, separator);
  print("%s\n", line);
}

// An infinite or not-a-number bound spans no range, however the two compare.
Ending check_range(double high, double low) {
  if (!std::isfinite(high) || !std::isfinite(low) || low >= high) {
    print("\nError: invalid range, <high> must be a higher value than <low>\n\n");
    return command_line_error();
  }
  if (std::fabs(high) >= kRangeLimit || std::fabs(low) >= kRangeLimit) {
    print("\nError: invalid range, <high> and <low> must lie between -1e48 and 1e48\n\n");
    return command_line_error();
  }
  return kGoOn;
}

}  // namespace

double convert_number(const char* text, char separator) {
  if (separator == '\0') return static_cast<double>(std::strtold(text, nullptr));
  char number[kNumberBufferSize];
  std::size_t length = std::strlen(text);
  if (length > kNumberBufferSize - 1) length = kNumberBufferSize - 1;
  std::memcpy(number, text, length);
  number[length] = '\0';
  // The conversion reads "." in the classic locale, so the user's separator becomes one.
  char* mark = std::strrchr(number, separator);
  if (mark != nullptr) *mark = '.';
  return static_cast<double>(std::strtold(number, nullptr));
}

Ending decide_mode_and_range(RunSettings& settings) {
  const int count = settings.positional_count();
  // /T without a list and without high and low: the colour census. With /Y the run never
  // takes high and low, and is a graph run.
  if (settings.tga_input && !settings.colour_list_given && count <= 1 && !settings.has_rows) {
    if (settings.crop) {
      print("\nError: invalid option combination (%s and %s)\n\n", settings.crop_argument,
            settings.tga_argument);
      return command_line_error();
    }
    // A census writes neither a data file nor an overlay.
    const char* graph_only =
        settings.has_columns ? settings.columns_argument : settings.overlay_argument;
    if (graph_only != nullptr) {
      print("\nError: option %s cannot be used in a census\n\n", graph_only);
      return plot_option_error();
    }
    settings.census_mode = true;
    return kGoOn;
  }

  settings.census_mode = false;
  if (settings.exclude) {
    print("\nInvalid option: %s\n\n", settings.exclude_argument);
    return command_line_error();
  }
  if (settings.has_rows) {
    // The rows give the values; cropping would move the rows they belong to.
    if (settings.crop) {
      print("\nError: option %s cannot be used with %s\n\n", settings.rows_argument,
            settings.crop_argument);
      return plot_option_error();
    }
    if (count > 2) {
      print("\nError: invalid number of arguments\n\n");
      return command_line_error();
    }
    return kGoOn;
  }
  if (count < 2 || count > 4) {
    print("\nError: invalid number of arguments\n\n");
    return command_line_error();
  }
  const char separator = settings.decimal_separator;
  settings.high = convert_number(settings.positional(0), separator);
  settings.low = convert_number(settings.positional(1), separator);
  if (settings.verbose) {
    if (separator == '\0') {
      print("High: %lf\nLow: %lf\n", settings.high, settings.low);
    } else {
      echo_value("High", settings.high, separator);
      echo_value("Low", settings.low, separator);
    }
  }
  return check_range(settings.high, settings.low);
}

}  // namespace curvlog
