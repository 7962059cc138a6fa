#pragma once

#include <cstddef>

#include "app/exit_code.h"
#include "app/settings.h"

namespace curvlog {

// The number buffer: every number text of the program is built in 80 characters.
inline constexpr std::size_t kNumberBufferSize = 80;

// Separator substitution: replaces the last "." of text with separator; nothing when
// separator is 0 or the text has no ".".
void substitute_separator(char* text, char separator);

// Converts a <high> or <low> argument: with a separator, its last occurrence becomes "." first;
// then the longest numeric prefix is converted (leading blanks skipped, no prefix gives 0).
double convert_number(const char* text, char separator);

// Decides census or graph mode, checks the option combinations and the argument count, and in
// graph mode converts, echoes (verbose) and checks high and low.
Ending decide_mode_and_range(RunSettings& settings);

}  // namespace curvlog
