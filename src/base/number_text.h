#pragma once

#include <cstddef>

namespace curvlog {

// The number buffer: every number text of the program is built in 80 characters.
inline constexpr std::size_t kNumberBufferSize = 80;

// Separator substitution: replaces the last "." of text with separator; nothing when
// separator is 0 or the text has no ".".
void substitute_separator(char* text, char separator);

}  // namespace curvlog
