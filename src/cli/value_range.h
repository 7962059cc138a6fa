#pragma once

#include "base/exit_code.h"
#include "cli/settings.h"

namespace curvlog {

// Converts a <high> or <low> argument: with a separator, its last occurrence becomes "." first;
// then the longest numeric prefix is converted (leading blanks skipped, no prefix gives 0).
double convert_number(const char* text, char separator);

// Decides census or graph mode, checks the option combinations and the argument count, and in
// graph mode without /Y converts, echoes (verbose) and checks high and low.
Ending decide_mode_and_range(RunSettings& settings);

}  // namespace curvlog
