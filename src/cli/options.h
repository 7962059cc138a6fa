#pragma once

#include "base/exit_code.h"
#include "cli/settings.h"

namespace curvlog {

enum class ColourListKind { kExcluded, kSelected };  // /E or /T

// Parses the colour list of an /E or /T option argument into table (cleared first).
// Errors print their message (and the usage text where it belongs) and end the run.
Ending parse_colour_list(const char* argument, ColourListKind kind, ColourTable& table);

// Reads the option arguments from element 1 of settings.arguments into settings and sets
// settings.option_count. Ends the run for /V alone, /?, command-line errors, a refused copy
// of a colour list, and a cancellation.
Ending parse_options(RunSettings& settings);

// After parse_options: the separator query for /D and the verbose echo of the settings.
Ending finish_options(RunSettings& settings);

// Prints the 13-line usage text that /? and every command-line error show.
void print_usage();

// A colour list is meaningless for a 1-bit TGA file, whose header tells so only once it is
// read: refused as a command-line error (code 2), the /T argument quoted as typed.
Ending refuse_colour_list_for_one_bit(const RunSettings& settings);

}  // namespace curvlog
