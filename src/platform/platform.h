#pragma once

// Everything the program needs from the operating system. Nothing outside src/platform
// includes an OS header; each system has its own implementation of this interface.

#include <cstddef>
#include <cstdint>
#include <span>

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

// ---- Paths -------------------------------------------------------------------------------------
// Room for a file name or path: at most 259 characters and the terminating NUL.
inline constexpr std::size_t kPathCapacity = 260;

// True for any existing file or directory.
bool path_exists(const char* path);

// True for the characters that end the directory part of a path on this system.
bool is_directory_separator(char c);

// On POSIX an absolute path starts with the option switch "/". An argument that starts with "/"
// and holds another "/" further on is then a path, never an option.
bool slash_argument_is_path(const char* argument);

// Deletes a file; false with *error on failure.
bool delete_file(const char* path, ErrorCode* error);

// ---- File-open dialog ----------------------------------------------------------------------
// A kind of file the dialog offers: its name and its filemask patterns, ";" between two
// ("*.JPG;*.JPEG"); "*.*" stands for every name.
struct FileKind {
  const char* name;
  const char* patterns;
};

// Asks the user for an existing file, offering the kinds in their order with the first one
// selected. True with the file's full path; false when the user dismissed the question, it
// could not be asked, or the path does not fit.
bool choose_input_file(const char* title, std::span<const FileKind> kinds,
                       char (&path)[kPathCapacity]);

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
// What a filemask ("*" and "?") matches in its directory. Letter case does not count, and every
// entry counts, directories and "." and ".." included. The search has ended when the answer
// comes; a failure to end it is part of the answer.
struct FileMatch {
  enum class Count { kOne, kNone, kSeveral, kFailed };
  Count count = Count::kNone;  // kNone also when the search cannot start
  ErrorCode error = 0;         // kNone and kFailed (the search failed after the first match)
  bool close_failed = false;
  ErrorCode close_error = 0;
  char name[kPathCapacity] = "";  // kOne: the match's name, without the directory
};

FileMatch match_one_file(const char* mask);

}  // namespace curvlog::platform
