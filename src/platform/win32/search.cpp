// The wildcard search of one directory on Windows.

#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {

static_assert(kPathCapacity == MAX_PATH);

FileMatch match_one_file(const char* mask) {
  FileMatch match;
  WIN32_FIND_DATAA found;
  HANDLE first = FindFirstFileA(mask, &found);
  if (first == INVALID_HANDLE_VALUE) {
    match.error = GetLastError();
    return match;
  }
  std::unique_ptr<void, decltype(&FindClose)> search(first, FindClose);
  const std::size_t length = strnlen(found.cFileName, kPathCapacity - 1);
  std::memcpy(match.name, found.cFileName, length);
  match.name[length] = '\0';

  if (FindNextFileA(search.get(), &found)) {
    match.count = FileMatch::Count::kSeveral;
  } else {
    const DWORD failure = GetLastError();
    match.count =
        failure == ERROR_NO_MORE_FILES ? FileMatch::Count::kOne : FileMatch::Count::kFailed;
    if (match.count == FileMatch::Count::kFailed) match.error = failure;
  }
  if (!FindClose(search.release())) {
    match.close_failed = true;
    match.close_error = GetLastError();
  }
  return match;
}

}  // namespace curvlog::platform
