#pragma once

namespace curvlog {

// Prints the complete help of --help and -h: every option and argument, the input kinds, the
// output files, the exit codes and examples. Plain text of at most 79 columns. (The short
// usage text of /? and of command-line errors is print_usage().)
void print_help();

}  // namespace curvlog
