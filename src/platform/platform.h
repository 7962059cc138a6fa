#pragma once

// Everything the program needs from the operating system. Nothing outside src/platform
// includes an OS header; each system has its own implementation of this interface.

#include <cstddef>
#include <cstdint>

namespace curvlog::platform {

// The system's error number of a failed call, printed as "(%lu)": GetLastError on Windows,
// errno on POSIX. Each failing operation below hands it back, fetched right after the failure.
using ErrorCode = unsigned long;

// ---- Interrupts ------------------------------------------------------------------------
// The user or the system asks the run to end: Ctrl+C, Ctrl+Break, the console closing, log-off
// or shut-down (on POSIX: SIGINT, SIGQUIT, SIGHUP, SIGTERM). The handler is called for these and
// for nothing else, possibly asynchronously (a signal handler, another thread), so it may only
// set a flag. on_interrupt(nullptr) removes the handler.
using InterruptHandler = void (*)();
void on_interrupt(InterruptHandler handler);

// ---- Message box ---------------------------------------------------------------------------
// An information box with no owner window and an OK button; returns once it is closed.
void show_message_box(const char* text, const char* caption);

// ---- Locale ----------------------------------------------------------------------------------
// Writes the system's decimal separator, NUL-terminated, into buffer. Returns the number of
// characters written including the terminator, or 0 on failure with *error set.
int query_decimal_separator(char* buffer, int capacity, ErrorCode* error);

// ---- File-open dialog ----------------------------------------------------------------------
inline constexpr unsigned kDialogPathMustExist = 0x800;
inline constexpr unsigned kDialogFileMustExist = 0x1000;

struct OpenFileDialog {
  const char* filter = nullptr;  // pairs of NUL-terminated texts (name, pattern), then a NUL
  unsigned filter_index = 1;     // 1-based: the pair selected when the dialog opens
  char* file = nullptr;          // receives the chosen path; empty when the dialog opens
  unsigned max_file = 0;         // capacity of file
  const char* title = nullptr;
  unsigned flags = 0;
};

// Shows the dialog. True with the absolute path of an existing file in dialog.file; false when
// it was dismissed or failed.
bool open_file_dialog(OpenFileDialog& dialog);

// ---- Paths -------------------------------------------------------------------------------------
// True for any existing file or directory.
bool path_exists(const char* path);

// True for the characters that end the directory part of a path on this system.
bool is_directory_separator(char c);

// On POSIX an absolute path starts with the option switch "/". An argument that starts with "/"
// and holds another "/" further on is then a path, never an option.
bool slash_argument_is_path(const char* argument);

// Deletes a file; false with *error on failure.
bool delete_file(const char* path, ErrorCode* error);

// ---- Memory --------------------------------------------------------------------------------
// A hint for a large zero-filled block that is about to be written through (the data bitmap):
// where the system offers it, the block is backed by large pages, which spares most of the
// page faults of its first writes. No effect on the contents; nothing to undo.
void advise_large_block(void* block, std::size_t size);

// ---- Input file --------------------------------------------------------------------------
// An existing file open for reading, shared for reading. Closed by its destructor.
class File {
 public:
  File() = default;
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens with the sequential-access hint. A directory counts as a failed open.
  bool open(const char* path, ErrorCode* error);
  bool is_open() const { return handle_ != kNoHandle; }
  void close();

  // The size of a regular file, whose bytes read_at() fetches; -1 for anything else (a pipe, a
  // device), read with read() alone.
  std::int64_t regular_size() const { return regular_size_; }

  // Up to size bytes from the current position: the number delivered, 0 at the end of the
  // file, or -1 on failure with *error set. A pipe's read that waits, or starts, after an
  // interrupt fails at once.
  long read(void* buffer, std::size_t size, ErrorCode* error);

  // Up to size bytes from offset of a regular file; several threads may call it at once. As
  // read(), and 0 beyond the end. A file is read by read() or by read_at(), not both: here
  // read_at() may move read()'s position.
  long read_at(std::uint64_t offset, void* buffer, std::size_t size, ErrorCode* error) const;

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;  // file descriptor or HANDLE
  std::int64_t regular_size_ = -1;
};

// The error of a request to go back in a file that cannot (a pipe, say).
extern const ErrorCode kCannotRewind;

// ---- Second thread ---------------------------------------------------------------------------
// Runs one task on a thread of its own, for work the caller could just as well do itself:
// start() returns false when the system gives no thread, and the caller then does the task
// alone. The thread takes no signals or console events; they stay with the main thread. The
// destructor waits for the task to end.
class Worker {
 public:
  using Task = void (*)(void* context);

  Worker() = default;
  ~Worker() { join(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  bool start(Task task, void* context);
  // Waits for the task to end; returns at once when none runs.
  void join();

 private:
  friend struct WorkerEntry;  // the system's thread entry, which calls task_

  std::uintptr_t thread_ = 0;  // the system's thread identifier
  bool running_ = false;
  bool placed_ = false;  // started away from the creator's processor
  Task task_ = nullptr;
  void* context_ = nullptr;
};

// ---- Output file ---------------------------------------------------------------------------
// A new file open for writing only, never shared. Closed by its destructor.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file; fails when it exists already (never overwrites).
  bool create_new(const char* path, ErrorCode* error);
  bool is_open() const { return handle_ != kNoHandle; }
  void close();

  // One write request. Returns the number of bytes written (possibly fewer than size), or -1
  // on failure with *error set.
  long write(const void* data, std::size_t size, ErrorCode* error);

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
};

// ---- Wildcard search ---------------------------------------------------------------------
inline constexpr std::size_t kFoundNameCapacity = 260;

// A search of one directory for the entries whose names match a filemask ("*" and "?");
// every entry counts, directories and "." and ".." included. Names compare without regard to
// letter case. Ended by close() or, silently, by the destructor.
class WildcardSearch {
 public:
  enum class Next { kFound, kNoMoreFiles, kFailed };

  WildcardSearch() = default;
  ~WildcardSearch();
  WildcardSearch(const WildcardSearch&) = delete;
  WildcardSearch& operator=(const WildcardSearch&) = delete;

  // Starts the search and yields the first match's file name (without directory). False when
  // nothing matches or the search cannot start, with *error set.
  bool first(const char* mask, char (&name)[kFoundNameCapacity], ErrorCode* error);
  // The next match; kFailed sets *error.
  Next next(char (&name)[kFoundNameCapacity], ErrorCode* error);
  // Ends the search; false with *error when that fails.
  bool close(ErrorCode* error);

 private:
  void* state_ = nullptr;  // owned by the implementation
};

}  // namespace curvlog::platform
