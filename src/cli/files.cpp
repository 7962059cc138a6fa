#include "cli/files.h"

#include <cstring>

#include "base/console.h"
#include "cli/options.h"

namespace curvlog {
namespace {

// The input argument of the command line, or nullptr when the file-open dialog names the input.
const char* input_argument(const RunSettings& settings) {
  const int count = settings.positional_count();
  // The census and a run with /Y take [<input>], [<input> [<output>]]; others high and low first.
  const int first = settings.census_mode || settings.has_rows ? 0 : 2;
  return count > first ? settings.positional(first) : nullptr;
}

// The output argument, or nullptr for the default name.
const char* output_argument(const RunSettings& settings) {
  if (settings.census_mode) return nullptr;
  const int count = settings.positional_count();
  if (settings.has_rows) return count == 2 ? settings.positional(1) : nullptr;
  return count == 4 ? settings.positional(3) : nullptr;
}

// True for a name that ends in ".csv", in any case.
bool names_csv_file(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length < 4) return false;
  const char* suffix = name + length - 4;
  for (std::size_t i = 0; i < 4; ++i) {
    const char c =
        suffix[i] >= 'A' && suffix[i] <= 'Z' ? static_cast<char>(suffix[i] + 32) : suffix[i];
    if (c != ".csv"[i]) return false;
  }
  return true;
}

// Copies a file name argument into a name field; a name that is empty or does not fit is
// refused with the invalid-length message (what says which file it is).
Ending copy_name(const char* argument, const char* what, char (&name)[platform::kPathCapacity]) {
  const std::size_t length = std::strlen(argument);
  if (length == 0 || length >= platform::kPathCapacity) {
    print("\nError: invalid length (%zu characters) of %s file\n%s\n\n", length, what, argument);
    return ExitCode::kFileAccess;
  }
  std::memcpy(name, argument, length + 1);
  return kGoOn;
}

// Replaces a filemask in settings.input_name with the directory part of the mask followed by
// the name of its single match.
Ending resolve_filemask(RunSettings& settings) {
  const char* mask = settings.input_name;
  const platform::FileMatch match = platform::match_one_file(mask);
  using Count = platform::FileMatch::Count;
  if (match.count == Count::kNone) {
    print("Error: file not found (%lu)\n\n", match.error);
    return ExitCode::kFileAccess;
  }
  if (match.count == Count::kSeveral)
    print("Error: filemask %s matches more than one file\n", mask);
  if (match.count == Count::kFailed) print("Error: file not found (%lu)\n", match.error);
  // A search that could not be ended fails the run, also when it found the one file.
  if (match.close_failed) print("Error: cannot close handle (%lu)\n\n", match.close_error);
  if (match.count != Count::kOne) {
    print("\n");
    return ExitCode::kFileAccess;
  }
  if (match.close_failed) return ExitCode::kFileAccess;

  const char* found = match.name;
  const std::size_t directory_length = filemask_directory_length(mask);
  const std::size_t found_length = std::strlen(found);
  const std::size_t joined_length = directory_length + found_length;
  if (joined_length >= platform::kPathCapacity) {
    print("\nError: invalid length (%zu characters) of input file\n%.*s%s\n\n", joined_length,
          static_cast<int>(directory_length), mask, found);
    return ExitCode::kFileAccess;
  }
  // The directory part stays where it is; the match replaces the pattern after it.
  std::memcpy(settings.input_name + directory_length, found, found_length + 1);
  return kGoOn;
}

}  // namespace

bool names_directory(const char* name) {
  const std::size_t length = std::strlen(name);
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return true;
  if (length == 0) return false;
  if (platform::is_directory_separator(name[length - 1])) return true;
  // "x/." and "x/.."; a dot after any other character ("graph." or "a..") is part of a name.
  std::size_t dots = 0;
  while (dots < 2 && dots < length && name[length - 1 - dots] == '.') ++dots;
  return dots > 0 && dots < length && platform::is_directory_separator(name[length - 1 - dots]);
}

std::size_t filemask_directory_length(const char* mask) {
  std::size_t length = 0;
  for (std::size_t i = 0; mask[i] != '\0'; ++i) {
    if (platform::is_directory_separator(mask[i])) length = i + 1;
  }
  return length;
}

Ending resolve_output_name(RunSettings& settings) {
  if (const char* argument = output_argument(settings)) {
    if (Ending ending = copy_name(argument, "output", settings.output_name)) return ending;
  } else {
    std::memcpy(settings.output_name, kDefaultOutputName, sizeof kDefaultOutputName);
  }
  if (settings.census_mode) return kGoOn;
  settings.csv_output = names_csv_file(settings.output_name);
  // Only the CSV file has a column for the x-values.
  if (settings.has_columns && !settings.csv_output) {
    print("\nError: option %s needs a .csv output file\n\n", settings.columns_argument);
    return plot_option_error();
  }
  if (settings.overlay_argument != nullptr) {
    if (Ending ending =
            copy_name(settings.overlay_argument + 2, "overlay", settings.overlay_name)) {
      return ending;
    }
    // The overlay is written after the data file, which it would replace.
    if (std::strcmp(settings.overlay_name, settings.output_name) == 0) {
      print("\nError: option %s names the output file\n\n", settings.overlay_argument);
      return plot_option_error();
    }
  }
  return kGoOn;
}

Ending resolve_input_name(RunSettings& settings) {
  if (const char* argument = input_argument(settings)) {
    return copy_name(argument, "input", settings.input_name);
  }
  // The format the command line names, the formats known by their signature, then every file.
  static constexpr platform::FileKind kPcxKinds[] = {
      {"PCX", "*.PCX"}, {"PNG", "*.PNG"}, {"JPEG", "*.JPG;*.JPEG"}, {"All", "*.*"}};
  static constexpr platform::FileKind kTgaKinds[] = {
      {"Targa", "*.TGA"}, {"PNG", "*.PNG"}, {"JPEG", "*.JPG;*.JPEG"}, {"All", "*.*"}};
  const bool tga = settings.tga_input;
  if (!platform::choose_input_file(tga ? "Open TGA file" : "Open PCX file",
                                   tga ? kTgaKinds : kPcxKinds, settings.input_name)) {
    platform::show_message_box("Processing cancelled", "File Selection");
    return ExitCode::kSuccess;
  }
  return kGoOn;
}

Ending open_input(RunSettings& settings, InputFile& input) {
  // A name chosen in the dialog is an existing file's full path and needs none of these tests.
  if (input_argument(settings) != nullptr) {
    if (names_directory(settings.input_name)) {
      print("\nError: invalid filemask of input file %s\n\n", settings.input_name);
      return ExitCode::kFileAccess;
    }
    if (std::strpbrk(settings.input_name, "*?") != nullptr) {
      if (Ending ending = resolve_filemask(settings)) return ending;
    }
  }
  if (!platform::path_exists(settings.input_name)) {
    print("\nError: input file %s doesn't exist\n\n", settings.input_name);
    return ExitCode::kFileAccess;
  }
  if (!settings.census_mode && platform::path_exists(settings.output_name)) {
    print("\nError: output file %s already exists\n\n", settings.output_name);
    return ExitCode::kOutputExists;
  }
  if (settings.overlay_name[0] != '\0' && platform::path_exists(settings.overlay_name)) {
    print("\nError: output file %s already exists\n\n", settings.overlay_name);
    return ExitCode::kOutputExists;
  }
  platform::ErrorCode error = 0;
  if (!input.open(settings.input_name, &error)) {
    print("\nError: unable to open input file %s (%lu)\n\n", settings.input_name, error);
    return ExitCode::kFileAccess;
  }
  if (settings.verbose) {
    print("Input filename: %s\n", settings.input_name);
    if (!settings.census_mode) print("Output filename: %s\n", settings.output_name);
    if (settings.overlay_name[0] != '\0') print("Overlay filename: %s\n", settings.overlay_name);
  }
  return kGoOn;
}

}  // namespace curvlog
