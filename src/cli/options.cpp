#include "cli/options.h"

#include <cstring>

#include "base/cancel.h"
#include "base/console.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "base/version.h"
#include "platform/platform.h"

namespace curvlog {
namespace {

// Only the first four characters of a list value count, so "0001x" is 1 and "12345" is 1234.
constexpr std::size_t kDigitsExamined = 4;

Ending command_line_error() {
  print_usage();
  return ExitCode::kCommandLine;
}

Ending invalid_option(const char* argument) {
  print("\nInvalid option: %s\n\n", argument);
  return command_line_error();
}

bool is_decimal_digit(char c) {
  return c >= '0' && c <= '9';
}

char upper_ascii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Returns the next comma-delimited token of the text at *cursor, terminated in place, or nullptr
// after the last one. Empty fields are skipped, so leading, trailing and doubled commas vanish.
char* next_token(char** cursor) {
  char* start = *cursor;
  while (*start == ',') ++start;
  if (*start == '\0') {
    *cursor = start;
    return nullptr;
  }
  char* end = start;
  while (*end != '\0' && *end != ',') ++end;
  if (*end == ',') *end++ = '\0';
  *cursor = end;
  return start;
}

// One colour-list value: its examined characters must all be digits and form at most 255.
Ending take_colour_value(const char* token, const char* argument, ColourListKind kind,
                         ColourTable& table) {
  int value = 0;
  for (std::size_t i = 0; i < kDigitsExamined && token[i] != '\0'; ++i) {
    if (!is_decimal_digit(token[i])) {
      print("\nCharacter in option %s is not a digit: %1c\n\n", argument, token[i]);
      return command_line_error();
    }
    value = value * 10 + (token[i] - '0');
  }
  if (value > 255) return invalid_option(argument);
  if (table[static_cast<std::size_t>(value)]) {
    if (kind == ColourListKind::kExcluded) {
      print("Error: value %d already excluded\n\n", value);
    } else {
      print("Error: color index value %d already selected\n\n", value);
    }
    return command_line_error();
  }
  table[static_cast<std::size_t>(value)] = true;
  return kGoOn;
}

// The earlier argument that set an option, and the one that sets it again, as typed.
void warn_reset(const RunSettings& settings, int previous, int index, bool says_previous) {
  print(says_previous ? "\nWarning: previous option %s is reset by option %s\n\n"
                      : "\nWarning: option %s is reset by option %s\n\n",
        settings.argument(previous), settings.argument(index));
}

// Interprets the option argument at index. Options with a list take the switch, the letter and
// at least one more character; all others exactly the two.
Ending take_option(RunSettings& settings, int index) {
  const char* argument = settings.argument(index);
  // The names users of other command-line tools try first stand for /? and /V, with all their
  // rules; only the exact, case-sensitive spelling counts.
  char letter = upper_ascii(argument[1]);
  bool has_more = argument[2] != '\0';
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
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
      print("\n");
      print_usage();
      return ExitCode::kSuccess;
    case 'C':
      if (has_more) return invalid_option(argument);
      if (settings.crop != 0) warn_reset(settings, settings.crop, index, true);
      settings.crop = index;
      return kGoOn;
    case 'D':
      if (has_more) return invalid_option(argument);
      if (settings.use_system_separator != 0) {
        warn_reset(settings, settings.use_system_separator, index, false);
      }
      settings.use_system_separator = index;
      return kGoOn;
    case 'V':
      if (has_more) return invalid_option(argument);
      if (settings.argument_count == 2) {
        print("CURVLOG v%s\n\n", kVersion);
        return ExitCode::kSuccess;
      }
      if (settings.verbose != 0) {
        warn_reset(settings, settings.verbose, index, false);
      } else {
        print("CURVLOG v%s, verbose mode\n\n", kVersion);
      }
      settings.verbose = index;
      return kGoOn;
    case 'E':
      if (!has_more) return invalid_option(argument);
      if (Ending ending =
              parse_colour_list(argument, ColourListKind::kExcluded, settings.excluded_colours)) {
        return ending;
      }
      if (settings.exclude_option != 0) warn_reset(settings, settings.exclude_option, index, true);
      settings.exclude_option = index;
      return kGoOn;
    case 'T':
      settings.colour_list_given = false;
      if (has_more) {
        if (Ending ending =
                parse_colour_list(argument, ColourListKind::kSelected, settings.selected_colours)) {
          return ending;
        }
        settings.colour_list_given = true;
      }
      if (settings.tga_option != 0) warn_reset(settings, settings.tga_option, index, true);
      settings.tga_option = index;
      return kGoOn;
    default:
      return invalid_option(argument);
  }
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

Ending parse_colour_list(const char* argument, ColourListKind kind, ColourTable& table) {
  // The tokenizer terminates tokens in place, so it works on a private copy.
  const std::size_t length = std::strlen(argument);
  const CArray<char> copy = allocate_zeroed<char>(length + 1);
  if (!copy) {
    if (kind == ColourListKind::kExcluded) {
      print("Error: unable to allocate memory to store the excluded colors\n\n");
    } else {
      print("Error: unable to allocate memory to store the selected colors\n\n");
    }
    return ExitCode::kOutOfMemory;
  }
  table.fill(false);
  std::memcpy(copy.get(), argument, length + 1);
  // The switch and the letter become delimiters, so the list proper starts after them.
  for (std::size_t i = 0; i < 2 && i < length; ++i) copy[i] = ',';

  bool any_value = false;
  char* cursor = copy.get();
  while (const char* token = next_token(&cursor)) {
    if (Ending ending = take_colour_value(token, argument, kind, table)) return ending;
    any_value = true;
  }
  if (!any_value) return invalid_option(argument);
  return kGoOn;
}

Ending parse_options(RunSettings& settings) {
  int index = 1;
  for (; index < settings.argument_count; ++index) {
    if (!is_option_argument(settings.argument(index))) break;
    if (cancel_requested()) return ExitCode::kSuccess;
    if (Ending ending = take_option(settings, index)) return ending;
  }
  settings.option_count = index - 1;
  return kGoOn;
}

Ending finish_options(RunSettings& settings) {
  char separator = 0;
  if (settings.use_system_separator != 0) {
    char number[kNumberBufferSize] = "";
    platform::ErrorCode error = 0;
    if (platform::query_decimal_separator(number, 4, &error) == 0) {
      print("\nError: cannot query system's decimal separator (%lu)\n\n", error);
      print_usage();
      return ExitCode::kSeparatorQuery;
    }
    separator = number[0];
    if (settings.verbose != 0 && separator != '\0') {
      print("Using system's decimal separator \"%1c\".\n\n", separator);
    }
  }
  settings.decimal_separator = separator == '.' ? '\0' : separator;

  if (settings.verbose == 0) return kGoOn;
  if (settings.tga_option != 0) {
    print("Using TGA input file format instead of PCX file format.\n\n");
  }
  if (settings.crop != 0) {
    print("Cropping enabled, highest and lowest pixel represent highest and lowest value.\n\n");
  }
  if (settings.colour_list_given) {
    for (int value = 0; value < 256; ++value) {
      if (settings.selected_colours[static_cast<std::size_t>(value)]) {
        print("Color index value representing data pixels: %3d\n", value);
      }
    }
    print("\n");
  }
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
  print("output: optional, name of PRN output file (default: CURVLOG.PRN)\n\n");
}

Ending refuse_colour_list_for_one_bit(const RunSettings& settings) {
  print("\nInvalid 1bpp TGA input file color index value(s): %s\n\n",
        settings.argument(settings.tga_option));
  return command_line_error();
}

}  // namespace curvlog
