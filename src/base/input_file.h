#pragma once

// The input file as the readers see it: one-byte and multi-byte requests, and whole spans,
// served from a block buffer.

#include <cstddef>
#include <cstdint>

#include "platform/decoder.h"
#include "platform/platform.h"

namespace curvlog {

// An input file open for sequential reading. The readers ask for a byte (or a header field)
// per request; the requests are served from a block buffer of this object's own, so a reader
// sees the same bytes, and a failure or the end of the file at the same byte, as if each
// request went to the system. Closed by its destructor; neither copied nor moved.
class InputFile {
 public:
  static constexpr int kEndOfFile = -1;
  static constexpr int kReadError = -2;

  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool open(const char* path, platform::ErrorCode* error);
  bool is_open() const { return file_.is_open(); }
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

  // Moves forward by count bytes. Moving beyond the end of the file is no failure. False with
  // error() set on failure.
  bool skip(std::uint32_t count);

  // Moves back to the first byte, for a second pass over the file. False with error() set
  // when the file cannot go back (a pipe, say).
  bool rewind();

  platform::ErrorCode error() const { return error_; }

  // The size of the file when it is a regular file, whose bytes read_at() can also fetch; -1
  // for anything else (a FIFO, a device).
  std::int64_t regular_file_size() const { return file_.regular_size(); }

  // Up to size bytes from offset, apart from the sequential requests above and without moving
  // their position (they read a regular file by offset too); several threads may call it at once.
  // Returns the number delivered (fewer only at the end of the file, 0 beyond it), or -1 on failure
  // with *error set. Only for a file with a regular_file_size().
  long read_at(std::uint64_t offset, void* buffer, std::size_t size,
               platform::ErrorCode* error) const {
    return file_.read_at(offset, buffer, size, error);
  }

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  int refill_and_read_byte();
  // Fills the buffer with the next block. Returns the number of bytes, 0 at the end of the
  // file, or -1 on failure with error_ set.
  long refill();

  platform::File file_;
  std::uint64_t position_ = 0;  // of the byte after the buffer, for a regular file
  const std::uint8_t* next_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  platform::ErrorCode error_ = 0;
  std::uint8_t block_[kBlockSize];
};

// The input file as a decoder's byte source: its read() and rewind() requests.
platform::ByteSource byte_source(InputFile& input);

}  // namespace curvlog
