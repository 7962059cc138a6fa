#pragma once

// The system's own PNG encoder (libpng on POSIX, the Windows Imaging Component on Windows),
// which takes a picture of palette indices one row at a time: neither the caller nor the
// encoder holds more than a row of it. The file is created new and never replaces an
// existing one.

#include <cstdint>

#include "platform/platform.h"

namespace curvlog::platform {

struct PaletteEntry {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

enum class EncodeStatus {
  kOk,
  kCreateFailed,  // the file could not be created (it exists, say); nothing was made
  kWriteFailed,   // a write to the file failed
  kOutOfMemory,   // the encoder's memory was refused
};

// One file's encoding: create_new(), write_row() once per row from the top, then finish().
// After any failure but kCreateFailed the file may exist, incomplete: the caller closes the
// writer and deletes it. Closed by its destructor; neither copied nor moved.
class PngWriter {
 public:
  PngWriter() = default;
  ~PngWriter();
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  // Creates the file for an 8-bit indexed picture of width x height pixels (1 to 65535 each)
  // whose palette holds the first count (1 to 256) entries of palette.
  EncodeStatus create_new(const char* path, std::uint32_t width, std::uint32_t height,
                          const PaletteEntry* palette, unsigned count, ErrorCode* error);
  // The next row: width palette indices, each below the palette's count.
  EncodeStatus write_row(const std::uint8_t* indices, ErrorCode* error);
  // After the last row: the end of the file; then closes it.
  EncodeStatus finish(ErrorCode* error);
  // Closes the file as it stands, finished or not.
  void close();

 private:
  void* state_ = nullptr;  // owned by the implementation
};

}  // namespace curvlog::platform
