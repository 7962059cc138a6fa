// The wildcard search of one directory on Windows.

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {
namespace {

static_assert(kFoundNameCapacity == MAX_PATH);

void set_error(ErrorCode* error, DWORD number) {
  if (error != nullptr) *error = number;
}

// The search handle is kept in the state pointer itself; FindFirstFileA never returns null.
HANDLE to_handle(void* state) {
  return static_cast<HANDLE>(state);
}

void copy_name(const WIN32_FIND_DATAA& found, char (&name)[kFoundNameCapacity]) {
  const std::size_t length = strnlen(found.cFileName, kFoundNameCapacity - 1);
  std::memcpy(name, found.cFileName, length);
  name[length] = '\0';
}

}  // namespace

WildcardSearch::~WildcardSearch() {
  if (state_ != nullptr) (void)FindClose(to_handle(state_));
}

bool WildcardSearch::first(const char* mask, char (&name)[kFoundNameCapacity], ErrorCode* error) {
  if (state_ != nullptr) (void)FindClose(to_handle(state_));
  state_ = nullptr;
  name[0] = '\0';
  WIN32_FIND_DATAA found;
  HANDLE handle = FindFirstFileA(mask, &found);
  if (handle == INVALID_HANDLE_VALUE) {
    set_error(error, GetLastError());
    return false;
  }
  state_ = handle;
  copy_name(found, name);
  return true;
}

WildcardSearch::Next WildcardSearch::next(char (&name)[kFoundNameCapacity], ErrorCode* error) {
  if (state_ == nullptr) {
    set_error(error, ERROR_INVALID_HANDLE);
    return Next::kFailed;
  }
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(to_handle(state_), &found)) {
    const DWORD failure = GetLastError();
    if (failure == ERROR_NO_MORE_FILES) return Next::kNoMoreFiles;
    set_error(error, failure);
    return Next::kFailed;
  }
  copy_name(found, name);
  return Next::kFound;
}

bool WildcardSearch::close(ErrorCode* error) {
  if (state_ == nullptr) return true;  // nothing was started, so nothing can fail to end
  HANDLE handle = to_handle(state_);
  state_ = nullptr;
  if (!FindClose(handle)) {
    set_error(error, GetLastError());
    return false;
  }
  return true;
}

}  // namespace curvlog::platform
