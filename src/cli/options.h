#pragma once

#include "base/exit_code.h"
#include "cli/settings.h"

namespace curvlog {

// Reads the option arguments from element 1 of settings.arguments into settings and sets
// settings.option_count. Ends the run for /V alone, /?, command-line errors and a
// cancellation.
Ending parse_options(RunSettings& settings);

// After parse_options: the separator query for /D and the verbose echo of the settings.
Ending finish_options(RunSettings& settings);

// Prints the 13-line usage text that /? and every command-line error show.
void print_usage();


// Ends the run for a command-line error whose message is printed: the usage text, code 2.
Ending command_line_error();

// The same for a refused /R, /M, /Y, /X or /O, whose rules the usage text does not tell: the
// usage text, a line pointing to --help, code 2.
Ending plot_option_error();

// A colour list is meaningless for a 1-bit TGA file, whose header tells so only once it is
// read: refused as a command-line error, the /T argument quoted as typed.
Ending refuse_colour_list_for_one_bit(const RunSettings& settings);

}  // namespace curvlog
