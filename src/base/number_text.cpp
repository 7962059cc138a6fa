#include "base/number_text.h"

#include <cstring>

namespace curvlog {

void substitute_separator(char* text, char separator) {
  if (separator == '\0') return;
  char* point = std::strrchr(text, '.');
  if (point != nullptr) *point = separator;
}

}  // namespace curvlog
