// The decimal separator that the user's environment selects, on POSIX systems.

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace curvlog::platform {

int query_decimal_separator(char* buffer, int capacity, ErrorCode* error) {
  if (buffer == nullptr || capacity < 1) {
    if (error != nullptr) *error = EINVAL;
    return 0;
  }
  // The program's own locale stays "C" (its printed numbers always use "."); the user's
  // choice (LC_ALL, LC_NUMERIC, LANG) is read into a locale object of its own.
  errno = 0;
  locale_t user = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) {
    // A locale that the environment names but the system lacks.
    if (error != nullptr) *error = static_cast<ErrorCode>(errno != 0 ? errno : ENOENT);
    return 0;
  }
  const char* radix = ::nl_langinfo_l(RADIXCHAR, user);
  if (radix == nullptr) radix = "";
  std::size_t length = std::strlen(radix);
  std::size_t room = static_cast<std::size_t>(capacity) - 1;
  if (length > room) length = room;
  std::memcpy(buffer, radix, length);
  buffer[length] = '\0';
  ::freelocale(user);
  return static_cast<int>(length + 1);
}

}  // namespace curvlog::platform
