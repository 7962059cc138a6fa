#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/cancel.h"
#include "base/console.h"
#include "cli/help.h"
#include "base/number_text.h"
#include "base/version.h"
#include "cli/plot_options.h"
#include "platform/platform.h"

namespace curvlog {
namespace {

// Only the first four characters of a list index count, so "0001x" is 1 and "12345" is 1234.
constexpr std::size_t kDigitsExamined = 4;
// A distance of 442 covers the whole RGB cube, whose diagonal is about 441.7.
constexpr unsigned kMostDistance = 442;

enum class ColourListKind { kExcluded, kSelected };  // /E or /T

Ending invalid_option(const char* argument) {
  print("\nInvalid option: %s\n\n", argument);
  return command_line_error();
}

Ending not_a_digit(const char* argument, char c) {
  print("\nCharacter in option %s is not a digit: %1c\n\n", argument, c);
  return command_line_error();
}

bool is_decimal_digit(char c) {
  return c >= '0' && c <= '9';
}

char upper_ascii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Reads all of text as a decimal (base 10) or hexadecimal (16) number of at most most: digits
// only, since an unsigned number takes no sign.
bool read_whole_number(std::string_view text, int base, unsigned most, unsigned& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  return !text.empty() && stop == end && error == std::errc() && value <= most;
}

// "#RRGGBB" (hex digits in either case) or "#RRGGBB~D" with D from 0 to 442.
bool read_colour_item(std::string_view token, ColourItem& item) {
  unsigned rgb = 0;
  if (token.size() < 7 || !read_whole_number(token.substr(1, 6), 16, 0xFFFFFF, rgb)) return false;
  item.red = static_cast<std::uint8_t>(rgb >> 16);
  item.green = static_cast<std::uint8_t>(rgb >> 8);
  item.blue = static_cast<std::uint8_t>(rgb);
  if (token.size() == 7) return true;  // the default distance
  unsigned distance = 0;
  if (token[7] != '~' || !read_whole_number(token.substr(8), 10, kMostDistance, distance)) {
    return false;
  }
  item.distance = static_cast<std::uint16_t>(distance);
  return true;
}

Ending take_colour_item(std::string_view token, const char* argument, ColourList& list) {
  ColourItem item;
  if (!read_colour_item(token, item)) {
    print("\nInvalid color in option %s: %.*s\n\n", argument, static_cast<int>(token.size()),
          token.data());
    return command_line_error();
  }
  if (list.item_count == kMaxColourItems) {
    print("\nToo many colors in option %s (at most %u)\n\n", argument, kMaxColourItems);
    return command_line_error();
  }
  list.items[list.item_count++] = item;
  return kGoOn;
}

// Sets the indices first to last; one that an earlier token of the list set stops the run.
Ending set_indices(unsigned first, unsigned last, ColourListKind kind, ColourList& list) {
  for (unsigned value = first; value <= last; ++value) {
    if (list.indices[value]) {
      print(kind == ColourListKind::kExcluded ? "Error: value %u already excluded\n\n"
                                              : "Error: color index value %u already selected\n\n",
            value);
      return command_line_error();
    }
    list.indices[value] = true;
  }
  list.any_index = true;
  return kGoOn;
}

// One token of a list: an index when its first four characters are digits (only those count),
// "N-M" (the "-" within the first four characters) for the indices N to M, or a colour item.
Ending take_token(std::string_view token, const char* argument, ColourListKind kind,
                  ColourList& list) {
  if (token[0] == '#') return take_colour_item(token, argument, list);
  const std::size_t examined = std::min(token.size(), kDigitsExamined);
  std::size_t digits = 0;
  unsigned first = 0;
  for (; digits < examined && is_decimal_digit(token[digits]); ++digits) {
    first = first * 10 + static_cast<unsigned>(token[digits] - '0');
  }
  if (digits == examined) {
    if (first > 255) return invalid_option(argument);
    return set_indices(first, first, kind, list);
  }
  // A range needs a digit on either side of its "-"; else the "-" is not a digit, as in "-1".
  const std::string_view rest = token.substr(digits + 1);
  if (digits > 0 && token[digits] == '-' && !rest.empty() && is_decimal_digit(rest[0])) {
    const auto non_digit = std::find_if_not(rest.begin(), rest.end(), is_decimal_digit);
    if (non_digit != rest.end()) return not_a_digit(argument, *non_digit);
    unsigned last = 0;
    if (!read_whole_number(rest, 10, 255, last) || first > last) return invalid_option(argument);
    return set_indices(first, last, kind, list);
  }
  return not_a_digit(argument, token[digits]);
}

// Parses the colour list of an /E or /T option argument into list (emptied first). Empty
// fields vanish, so leading, trailing and doubled commas are skipped; a list without a token
// is an invalid option.
Ending parse_colour_list(const char* argument, ColourListKind kind, ColourList& list) {
  list = ColourList{};
  std::string_view rest(argument + 2);  // after the switch and the letter
  bool any_token = false;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view token = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (token.empty()) continue;
    if (Ending ending = take_token(token, argument, kind, list)) return ending;
    any_token = true;
  }
  if (!any_token) return invalid_option(argument);
  return kGoOn;
}

// The argument that last set each option, quoted when a later one resets it.
struct LastArguments {
  const char* crop = nullptr;
  const char* separator = nullptr;
  const char* verbose = nullptr;
  const char* exclude = nullptr;
  const char* tga = nullptr;
  const char* area = nullptr;
  const char* masks = nullptr;
  const char* rows = nullptr;
  const char* columns = nullptr;
  const char* overlay = nullptr;
};

// Remembers argument as the one that set an option, after warning that it resets an earlier one.
void set_again(const char*& last, const char* argument, bool says_previous) {
  if (last != nullptr) {
    print(says_previous ? "\nWarning: previous option %s is reset by option %s\n\n"
                        : "\nWarning: option %s is reset by option %s\n\n",
          last, argument);
  }
  last = argument;
}

// Interprets an option argument. Options with a list take the switch, the letter and at
// least one more character; all others exactly the two.
Ending take_option(RunSettings& settings, const char* argument, LastArguments& last) {
  // The names users of other command-line tools try first stand for /? and /V, with all their
  // rules; only the exact, case-sensitive spelling counts.
  char letter = upper_ascii(argument[1]);
  bool has_more = argument[2] != '\0';
  const bool help_name = std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
  if (help_name) {
    letter = '?', has_more = false;
  } else if (std::strcmp(argument, "--version") == 0) {
    letter = 'V', has_more = false;
  }
  switch (letter) {
    case '?':
      // The argument count comes first: "/?x" among other arguments is a count error.
      if (settings.argument_count != 2) {
        print("\nError: invalid number of arguments\n\n");
        return command_line_error();
      }
      if (has_more) return invalid_option(argument);
      if (help_name) {
        print_help();
      } else {
        print("\n");
        print_usage();
      }
      return ExitCode::kSuccess;
    case 'C':
      if (has_more) return invalid_option(argument);
      set_again(last.crop, argument, true);
      settings.crop = true;
      settings.crop_argument = argument;
      return kGoOn;
    case 'D':
      if (has_more) return invalid_option(argument);
      set_again(last.separator, argument, false);
      settings.use_system_separator = true;
      return kGoOn;
    case 'V':
      if (has_more) return invalid_option(argument);
      if (settings.argument_count == 2) {
        print("CURVLOG v%s\n\n", kVersion);
        return ExitCode::kSuccess;
      }
      if (last.verbose == nullptr) print("CURVLOG v%s, verbose mode\n\n", kVersion);
      set_again(last.verbose, argument, false);
      settings.verbose = true;
      return kGoOn;
    case 'E':
      if (!has_more) return invalid_option(argument);
      if (Ending ending =
              parse_colour_list(argument, ColourListKind::kExcluded, settings.excluded)) {
        return ending;
      }
      set_again(last.exclude, argument, true);
      settings.exclude = true;
      settings.exclude_argument = argument;
      return kGoOn;
    case 'T':
      // A /T without a list leaves the selected list as an earlier /T left it; nothing reads it.
      settings.colour_list_given = false;
      if (has_more) {
        if (Ending ending =
                parse_colour_list(argument, ColourListKind::kSelected, settings.selected)) {
          return ending;
        }
        settings.colour_list_given = true;
        settings.selected_text = argument + 2;
      }
      set_again(last.tga, argument, true);
      settings.tga_input = true;
      settings.tga_argument = argument;
      return kGoOn;
    case 'R':
      if (!has_more) return invalid_option(argument);
      if (Ending ending = parse_area(argument, settings.frame.area)) return ending;
      set_again(last.area, argument, true);
      settings.frame.has_area = true;
      return kGoOn;
    case 'M':
      if (!has_more) return invalid_option(argument);
      if (Ending ending = parse_masks(argument, settings.frame)) return ending;
      set_again(last.masks, argument, true);
      return kGoOn;
    case 'Y':
      if (!has_more) return invalid_option(argument);
      if (Ending ending = parse_axis(argument, AxisKind::kRows, settings.rows)) return ending;
      set_again(last.rows, argument, true);
      settings.has_rows = true;
      settings.rows_argument = argument;
      return kGoOn;
    case 'X':
      if (!has_more) return invalid_option(argument);
      if (Ending ending = parse_axis(argument, AxisKind::kColumns, settings.columns)) {
        return ending;
      }
      set_again(last.columns, argument, true);
      settings.has_columns = true;
      settings.columns_argument = argument;
      return kGoOn;
    case 'O':
      // The name is checked with the output name, once that is known.
      if (!has_more) return invalid_option(argument);
      set_again(last.overlay, argument, true);
      settings.overlay_argument = argument;
      return kGoOn;
    default:
      return invalid_option(argument);
  }
}

void echo_axis(const char* label, const AxisScale& scale) {
  print("%s: %.15g = %.15g, %.15g = %.15g%s\n", label, scale.pixel[0], scale.value[0],
        scale.pixel[1], scale.value[1], scale.log ? " (log)" : "");
}

// The /V echo of the plot's options, numbers as typed with ".".
void echo_plot_options(const RunSettings& settings) {
  const PlotFrame& frame = settings.frame;
  if (!frame.has_area && frame.mask_count == 0 && !settings.has_rows && !settings.has_columns) {
    return;
  }
  if (frame.has_area) {
    print("Plot area: %d,%d to %d,%d\n", frame.area.left, frame.area.top, frame.area.right,
          frame.area.bottom);
  }
  for (unsigned i = 0; i < frame.mask_count; ++i) {
    const PixelBox& box = frame.masks[i];
    print("Mask: %d,%d to %d,%d\n", box.left, box.top, box.right, box.bottom);
  }
  if (settings.has_rows) echo_axis("Rows", settings.rows);
  if (settings.has_columns) echo_axis("Columns", settings.columns);
  print("\n");
}

// An option argument starts with a switch character and has a letter after it. On POSIX an
// absolute path also starts with "/"; one with a further "/" is a path, never an option. No
// option letter is a digit, so a negative number ("-10", "-.5") is the first positional
// argument.
bool is_option_argument(const char* argument) {
  if (argument[0] != '-' && argument[0] != '/') return false;
  if (argument[1] == '\0') return false;
  if (argument[0] == '-' &&
      (is_decimal_digit(argument[1]) || (argument[1] == '.' && is_decimal_digit(argument[2])))) {
    return false;
  }
  return !platform::slash_argument_is_path(argument);
}

}  // namespace

Ending command_line_error() {
  print_usage();
  return ExitCode::kCommandLine;
}

Ending plot_option_error() {
  print_usage();
  print("Type curvlog --help for the options /R, /M, /Y, /X and /O.\n\n");
  return ExitCode::kCommandLine;
}

Ending parse_options(RunSettings& settings) {
  LastArguments last;
  int index = 1;
  for (; index < settings.argument_count; ++index) {
    const char* argument = settings.arguments[index];
    if (!is_option_argument(argument)) break;
    if (cancel_requested()) return ExitCode::kSuccess;
    if (Ending ending = take_option(settings, argument, last)) return ending;
  }
  settings.option_count = index - 1;
  return kGoOn;
}

Ending finish_options(RunSettings& settings) {
  char separator = 0;
  if (settings.use_system_separator) {
    char number[kNumberBufferSize] = "";
    platform::ErrorCode error = 0;
    if (platform::query_decimal_separator(number, 4, &error) == 0) {
      print("\nError: cannot query system's decimal separator (%lu)\n\n", error);
      print_usage();
      return ExitCode::kSeparatorQuery;
    }
    separator = number[0];
    if (settings.verbose && separator != '\0') {
      print("Using system's decimal separator \"%1c\".\n\n", separator);
    }
  }
  settings.decimal_separator = separator == '.' ? '\0' : separator;

  if (!settings.verbose) return kGoOn;
  if (settings.tga_input) print("Using TGA input file format instead of PCX file format.\n\n");
  if (settings.crop) {
    print("Cropping enabled, highest and lowest pixel represent highest and lowest value.\n\n");
  }
  if (settings.colour_list_given) {
    for (unsigned value = 0; value < 256; ++value) {
      if (settings.selected.indices[value]) {
        print("Color index value representing data pixels: %3u\n", value);
      }
    }
    for (unsigned i = 0; i < settings.selected.item_count; ++i) {
      const ColourItem& item = settings.selected.items[i];
      print("Color representing data pixels: #%02X%02X%02X within %u\n", unsigned{item.red},
            unsigned{item.green}, unsigned{item.blue}, unsigned{item.distance});
    }
    print("\n");
  }
  echo_plot_options(settings);
  return kGoOn;
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
  print("output: optional, name of PRN output file (default: %s)\n\n", kDefaultOutputName);
}

Ending refuse_colour_list_for_one_bit(const RunSettings& settings) {
  print("\nInvalid 1bpp TGA input file color index value(s): %s\n\n", settings.tga_argument);
  return command_line_error();
}

}  // namespace curvlog
