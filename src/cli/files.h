#pragma once

#include <cstddef>

#include "base/exit_code.h"
#include "base/input_file.h"
#include "cli/settings.h"

namespace curvlog {

// The output name: the fourth positional argument in graph mode (the second with /Y), else
// "CURVLOG.PRN". In graph mode also notes CSV output, refuses /X without it, and takes the
// overlay name of /O.
Ending resolve_output_name(RunSettings& settings);

// The input name: from the command line, or from the file-open dialog. A dialog that returns
// no file shows the "Processing cancelled" message box and ends the run with code 0.
Ending resolve_input_name(RunSettings& settings);

// Refuses a directory name and resolves a filemask, checks that the input exists and (graph
// mode) that the output does not, opens the input and, verbose, echoes both names.
Ending open_input(RunSettings& settings, InputFile& input);

// True for an input name that denotes a directory ("x/", "x/.", "x/..", ".", "..").
bool names_directory(const char* name);

// The length of a filemask's directory part, up to and including its last separator.
std::size_t filemask_directory_length(const char* mask);

}  // namespace curvlog
