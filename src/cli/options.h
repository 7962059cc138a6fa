#pragma once

#include "app/exit_code.h"
#include "app/settings.h"

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

}  // namespace curvlog
