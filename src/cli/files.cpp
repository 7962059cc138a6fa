#include "cli/files.h"

#include <cstring>

#include "base/console.h"

namespace curvlog {
namespace {

// The input argument of the command line, or nullptr when the file-open dialog names the input.
const char* input_argument(const RunSettings& settings) {
  const int count = settings.positional_count();
  if (settings.census_mode) return count == 1 ? settings.positional(0) : nullptr;
  return count >= 3 ? settings.positional(2) : nullptr;
}

// Copies a file name argument into a name field; a name that is empty or does not fit is
// refused with the invalid-length message (what says which file it is).
Ending copy_name(const char* argument, const char* what, char (&name)[kNameCapacity]) {
  const std::size_t length = std::strlen(argument);
  if (length == 0 || length >= kNameCapacity) {
    print("\nError: invalid length (%zu characters) of %s file\n%s\n\n", length, what, argument);
    return ExitCode::kFileAccess;
  }
  std::memcpy(name, argument, length + 1);
  return kGoOn;
}

// Ends the search that is still open after the first match. A failure to end it is reported
// and ends the run, also when the search itself went well.
bool close_search(platform::WildcardSearch& search) {
  platform::ErrorCode error = 0;
  if (search.close(&error)) return true;
  print("Error: cannot close handle (%lu)\n\n", error);
  return false;
}

// Replaces a filemask in settings.input_name with the directory part of the mask followed by
// the name of its single match.
Ending resolve_filemask(RunSettings& settings) {
  const char* mask = settings.input_name;
  platform::WildcardSearch search;
  char found[platform::kFoundNameCapacity];
  platform::ErrorCode error = 0;
  if (!search.first(mask, found, &error)) {
    print("Error: file not found (%lu)\n\n", error);
    return ExitCode::kFileAccess;
  }
  char second[platform::kFoundNameCapacity];
  switch (search.next(second, &error)) {
    case platform::WildcardSearch::Next::kFound:
      print("Error: filemask %s matches more than one file\n", mask);
      close_search(search);
      print("\n");
      return ExitCode::kFileAccess;
    case platform::WildcardSearch::Next::kFailed:
      print("Error: file not found (%lu)\n", error);
      close_search(search);
      print("\n");
      return ExitCode::kFileAccess;
    case platform::WildcardSearch::Next::kNoMoreFiles:
      if (!close_search(search)) return ExitCode::kFileAccess;
      break;
  }

  const std::size_t directory_length = filemask_directory_length(mask);
  const std::size_t found_length = std::strlen(found);
  const std::size_t joined_length = directory_length + found_length;
  if (joined_length >= kNameCapacity) {
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
  if (!settings.census_mode && settings.positional_count() == 4) {
    return copy_name(settings.positional(3), "output", settings.output_name);
  }
  std::memcpy(settings.output_name, kDefaultOutputName, sizeof kDefaultOutputName);
  return kGoOn;
}

Ending resolve_input_name(RunSettings& settings) {
  if (const char* argument = input_argument(settings)) {
    return copy_name(argument, "input", settings.input_name);
  }
  static constexpr char kPcxFilter[] = "PCX\0*.PCX\0All\0*.*\0\0";
  static constexpr char kTgaFilter[] = "Targa\0*.TGA\0All\0*.*\0\0";
  settings.input_name[0] = '\0';
  platform::OpenFileDialog dialog;
  dialog.filter = settings.tga_option != 0 ? kTgaFilter : kPcxFilter;
  dialog.filter_index = 1;
  dialog.file = settings.input_name;
  dialog.max_file = kNameCapacity;
  dialog.title = settings.dialog_title;
  dialog.flags = platform::kDialogPathMustExist | platform::kDialogFileMustExist;
  if (!platform::open_file_dialog(dialog)) {
    settings.input_name[0] = '\0';
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
  platform::ErrorCode error = 0;
  if (!input.open(settings.input_name, &error)) {
    print("\nError: unable to open input file %s (%lu)\n\n", settings.input_name, error);
    return ExitCode::kFileAccess;
  }
  if (settings.verbose != 0) {
    print("Input filename: %s\n", settings.input_name);
    if (!settings.census_mode) print("Output filename: %s\n", settings.output_name);
  }
  return kGoOn;
}

}  // namespace curvlog
