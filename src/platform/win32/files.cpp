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

// One read request, at the offset when there is one (a file on disk), else from the position.
long read_handle(HANDLE handle, const std::uint64_t* offset, void* buffer, std::size_t size,
                 ErrorCode* error) {
  DWORD request = request_size(size);
  if (request > static_cast<DWORD>(LONG_MAX)) request = LONG_MAX;
  OVERLAPPED place{};
  if (offset != nullptr) {
    place.Offset = static_cast<DWORD>(*offset);
    place.OffsetHigh = static_cast<DWORD>(*offset >> 32);
  }
  DWORD got = 0;
  if (!ReadFile(handle, buffer, request, &got, offset != nullptr ? &place : nullptr)) {
    const DWORD failure = GetLastError();
    // A pipe whose writer has gone reports the end of its data this way, a file on disk read
    // beyond its end this one.
    if (failure == ERROR_BROKEN_PIPE || failure == ERROR_HANDLE_EOF) return 0;
    set_error(error, failure);
    return -1;
  }
  return static_cast<long>(got);
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

const ErrorCode kCannotRewind = ERROR_SEEK_ON_DEVICE;

bool File::open(const char* path, ErrorCode* error) {
  close();
  // A directory fails here with ERROR_ACCESS_DENIED: it opens only with backup semantics.
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_error(error, GetLastError());
    return false;
  }
  handle_ = from_handle(handle);
  LARGE_INTEGER size{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size)) {
    regular_size_ = size.QuadPart;
  }
  return true;
}

void File::close() {
  if (handle_ != kNoHandle) {
    // Nothing was written, so a failed close loses nothing.
    (void)CloseHandle(to_handle(handle_));
    handle_ = kNoHandle;
  }
  regular_size_ = -1;
}

long File::read(void* buffer, std::size_t size, ErrorCode* error) {
  // An interrupt cancels a read that waits for a pipe (CancelSynchronousIo); one that came
  // before the read started is caught here.
  if (regular_size_ < 0 && win32::interrupt_came()) {
    set_error(error, ERROR_OPERATION_ABORTED);
    return -1;
  }
  return read_handle(to_handle(handle_), nullptr, buffer, size, error);
}

long File::read_at(std::uint64_t offset, void* buffer, std::size_t size, ErrorCode* error) const {
  if (regular_size_ < 0) {
    set_error(error, ERROR_INVALID_HANDLE);
    return -1;
  }
  return read_handle(to_handle(handle_), &offset, buffer, size, error);
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
