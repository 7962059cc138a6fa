// Input and output files, existence test and deletion on Windows.

#include <io.h>

#include <climits>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {
namespace {

static_assert(sizeof(std::intptr_t) >= sizeof(HANDLE));

void set_error(ErrorCode* error, DWORD number) {
  if (error != nullptr) *error = number;
}

HANDLE to_handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t from_handle(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// The largest single ReadFile or WriteFile request, which takes a DWORD count.
DWORD request_size(std::size_t size) {
  return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

}  // namespace

// ---- Paths -------------------------------------------------------------------------------------

bool path_exists(const char* path) {
  return path != nullptr && ::_access(path, 0) == 0;
}

// Windows takes "\" and "/" alike, and a drive prefix ("C:*.pcx") ends at its colon.
bool is_directory_separator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

// A Windows path never starts with the option switch "/", so such an argument is an option.
bool slash_argument_is_path(const char*) {
  return false;
}

bool delete_file(const char* path, ErrorCode* error) {
  if (DeleteFileA(path)) return true;
  set_error(error, GetLastError());
  return false;
}

// ---- Memory --------------------------------------------------------------------------------
// Large pages need a privilege on Windows that a console tool does not hold: no hint.
void advise_large_block(void*, std::size_t) {}

// ---- Input file --------------------------------------------------------------------------

InputFile::~InputFile() {
  close();
}

bool InputFile::open(const char* path, ErrorCode* error) {
  close();
  // A directory fails here with ERROR_ACCESS_DENIED: it opens only with backup semantics.
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = GetLastError();
    set_error(error, error_);
    return false;
  }
  handle_ = from_handle(handle);
  next_ = end_ = block_;
  error_ = 0;
  return true;
}

void InputFile::close() {
  if (handle_ != kNoHandle) {
    // Nothing was written, so a failed close loses nothing.
    (void)CloseHandle(to_handle(handle_));
    handle_ = kNoHandle;
  }
  next_ = end_ = nullptr;
}

long InputFile::refill() {
  next_ = end_ = block_;
  if (handle_ == kNoHandle) {
    error_ = ERROR_INVALID_HANDLE;
    return -1;
  }
  DWORD got = 0;
  if (!ReadFile(to_handle(handle_), block_, static_cast<DWORD>(kBlockSize), &got, nullptr)) {
    const DWORD failure = GetLastError();
    // A pipe whose writer has gone reports the end of its data this way.
    if (failure == ERROR_BROKEN_PIPE || failure == ERROR_HANDLE_EOF) return 0;
    error_ = failure;
    return -1;
  }
  end_ = block_ + got;
  return static_cast<long>(got);
}

// The interface's Windows services read sequentially only: regular_file_size() stays -1, so
// no reader gets here.
long InputFile::read_at(std::uint64_t, void*, std::size_t, ErrorCode* error) const {
  set_error(error, ERROR_NOT_SUPPORTED);
  return -1;
}

bool InputFile::skip(std::uint32_t count) {
  if (handle_ == kNoHandle) {
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  const std::size_t buffered = static_cast<std::size_t>(end_ - next_);
  if (count <= buffered) {
    next_ += count;
    return true;
  }
  const std::uint32_t rest = count - static_cast<std::uint32_t>(buffered);
  next_ = end_ = block_;
  HANDLE handle = to_handle(handle_);
  if (GetFileType(handle) == FILE_TYPE_DISK) {
    // The system's position lies past the buffered bytes, so a relative move by the rest
    // lands where the reader expects. Beyond the end of the file is allowed. The high part
    // makes the distance a 64-bit one, so a rest above 2^31 moves forward, not back.
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(handle, static_cast<LONG>(rest), &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER) {
      const DWORD failure = GetLastError();
      if (failure != NO_ERROR) {
        error_ = failure;
        return false;
      }
    }
    return true;
  }
  // A pipe or a console cannot move its position: read and discard. Reaching the end on the
  // way is no failure; the next read reports it.
  std::uint32_t left = rest;
  while (left > 0) {
    const long got = refill();
    if (got < 0) return false;
    if (got == 0) break;
    if (static_cast<std::uint32_t>(got) > left) {
      next_ += left;
      return true;
    }
    left -= static_cast<std::uint32_t>(got);
    next_ = end_;
  }
  return true;
}

bool InputFile::rewind() {
  if (handle_ == kNoHandle) {
    error_ = ERROR_INVALID_HANDLE;
    return false;
  }
  next_ = end_ = block_;
  HANDLE handle = to_handle(handle_);
  // Only a file on disk has a position to move; a pipe's would be meaningless.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error_ = ERROR_SEEK_ON_DEVICE;
    return false;
  }
  const LARGE_INTEGER start{};
  if (SetFilePointerEx(handle, start, nullptr, FILE_BEGIN)) return true;
  error_ = GetLastError();
  return false;
}

// ---- Output file ---------------------------------------------------------------------------

OutputFile::~OutputFile() {
  close();
}

bool OutputFile::create_new(const char* path, ErrorCode* error) {
  close();
  // CREATE_NEW makes the existence test and the creation one step: an existing file is never
  // opened, let alone truncated.
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_error(error, GetLastError());
    return false;
  }
  handle_ = from_handle(handle);
  return true;
}

void OutputFile::close() {
  if (handle_ == kNoHandle) return;
  (void)CloseHandle(to_handle(handle_));
  handle_ = kNoHandle;
}

long OutputFile::write(const void* data, std::size_t size, ErrorCode* error) {
  if (handle_ == kNoHandle) {
    set_error(error, ERROR_INVALID_HANDLE);
    return -1;
  }
  DWORD request = request_size(size);
  if (request > static_cast<DWORD>(LONG_MAX)) request = LONG_MAX;
  DWORD written = 0;
  if (!WriteFile(to_handle(handle_), data, request, &written, nullptr)) {
    set_error(error, GetLastError());
    return -1;
  }
  return static_cast<long>(written);
}

}  // namespace curvlog::platform
