#pragma once

// The system's own PNG decoder (libpng on POSIX, the Windows Imaging Component on Windows),
// which hands out the pixel rows of a PNG file one at a time: the caller never needs room for
// more than one row. The caller has taken the signature and the IHDR chunk from the input and
// checked them; everything after them is the decoder's to check.

#include <cstddef>
#include <cstdint>

#include "platform/decoder.h"

namespace curvlog::platform {

// The largest chunk other than IDAT. The program keeps only PLTE and tRNS (768 and 256 bytes at
// most) and skips the others, their CRCs checked, so a larger chunk can only be a bad one.
inline constexpr std::uint32_t kLargestOtherChunk = std::uint32_t{8} << 20;

// One file's decoding. The rows come in file order: next_row() rows() times, then finish().
// Closed by its destructor; neither copied nor moved.
class PngDecoder {
 public:
  PngDecoder() = default;
  ~PngDecoder();
  PngDecoder(const PngDecoder&) = delete;
  PngDecoder& operator=(const PngDecoder&) = delete;

  // Starts on the input, of which the first header_size bytes (signature and IHDR chunk) have
  // been taken already, into header; path names the same file.
  DecodeStatus start(const ByteSource& input, const char* path, const std::uint8_t* header,
                     std::size_t header_size);
  const DecodedPixels& pixels() const;
  std::size_t row_bytes() const;  // a buffer this large takes every row
  std::uint32_t rows() const;     // the rows next_row() delivers, the passes' rows together
  DecodeStatus next_row(std::uint8_t* buffer, RowPlace* place);
  // After the last row: the rest of the file, up to and including the IEND chunk.
  DecodeStatus finish();
  // Back to the first row, for a second pass over the image.
  DecodeStatus restart();
  ErrorCode error() const;  // for kReadError

 private:
  void* state_ = nullptr;  // owned by the implementation
};

}  // namespace curvlog::platform
