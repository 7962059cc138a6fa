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

// ---- Console control events -------------------------------------------------------------
// The handler receives a console control type and returns whether it handled it. On POSIX the
// events are signals: SIGINT is Ctrl+C, SIGQUIT Ctrl+Break, SIGHUP close and SIGTERM
// shut-down. The handler may run asynchronously (another thread, or a signal handler), so it
// must only set a flag.
inline constexpr unsigned long kCtrlCEvent = 0;
inline constexpr unsigned long kCtrlBreakEvent = 1;
inline constexpr unsigned long kCloseEvent = 2;
inline constexpr unsigned long kLogoffEvent = 5;
inline constexpr unsigned long kShutdownEvent = 6;

using ControlHandler = bool (*)(unsigned long control_type);

void register_control_handler(ControlHandler handler);
void remove_control_handler(ControlHandler handler);

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
// An input file open for sequential reading. The readers ask for a byte (or a header field)
// per request; the requests are served from a block buffer of this object's own, so a reader
// sees the same bytes, and a failure or the end of the file at the same byte, as if each
// request went to the system. Closed by its destructor; neither copied nor moved.
class InputFile {
 public:
  static constexpr int kEndOfFile = -1;
  static constexpr int kReadError = -2;

  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens an existing file for reading, shared for reading, with the sequential-access hint.
  // A directory counts as a failed open.
  bool open(const char* path, ErrorCode* error);
  bool is_open() const { return handle_ != kNoHandle; }
  void close();

  // One read request: copies up to size bytes. Returns the number delivered (fewer only at the
  // end of the file), or -1 on failure with error() set.
  long read(void* buffer, std::size_t size);

  // One byte: 0 to 255, kEndOfFile or kReadError (error() tells why).
  int read_byte() {
    if (next_ < end_) return *next_++;
    return refill_and_read_byte();
  }

  // The buffered bytes not yet taken, for readers that work on whole spans: points *data at
  // them, refilling the buffer first when it is empty, and returns their number, 0 at the end
  // of the file, or -1 on failure with error() set. Nothing is taken until consume(), so a
  // reader that stops inside the span leaves the file at the byte it stopped at, and the end
  // of the file or a failure is met at the same byte as by one-byte requests.
  long view(const std::uint8_t** data) {
    if (next_ == end_) {
      const long got = refill();
      if (got <= 0) return got;
    }
    *data = next_;
    return static_cast<long>(end_ - next_);
  }
  // Takes the first count bytes of the last view (count at most its size).
  void consume(std::size_t count) { next_ += count; }

  // Moves the file position forward by count bytes from the current position. Moving beyond
  // the end of the file is no failure. False with error() set on failure.
  bool skip(std::uint32_t count);

  // Moves back to the first byte, for a second pass over the file. False with error() set
  // when the file cannot go back (a pipe, say).
  bool rewind();

  ErrorCode error() const { return error_; }

  // The size of the file when it is a regular file, whose bytes read_at() can also fetch; -1
  // for anything else (a FIFO, a device), and on systems without read_at().
  std::int64_t regular_file_size() const { return regular_size_; }

  // Up to size bytes from offset, apart from the sequential requests above and without moving
  // their position; several threads may call it at once. Returns the number delivered (fewer
  // only at the end of the file, 0 beyond it), or -1 on failure with *error set. Only for a
  // file with a regular_file_size().
  long read_at(std::uint64_t offset, void* buffer, std::size_t size, ErrorCode* error) const;

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  static constexpr std::size_t kBlockSize = 64 * 1024;

  int refill_and_read_byte();
  // Fills the buffer with the next block. Returns the number of bytes, 0 at the end of the
  // file, or -1 on failure with error_ set.
  long refill();

  std::intptr_t handle_ = kNoHandle;  // file descriptor or HANDLE
  const std::uint8_t* next_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  ErrorCode error_ = 0;
  std::int64_t regular_size_ = -1;
  std::uint8_t block_[kBlockSize];
};

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
