#pragma once

// The system's own JPEG decoder (libjpeg on POSIX, the Windows Imaging Component on Windows),
// which hands out the pixel rows of a JPEG file one at a time, 8-bit samples: one channel of
// grey levels for a greyscale picture, red, green and blue for a colour one. The caller has
// taken the markers up to and including the frame header from the input and checked them;
// everything after them is the decoder's to check.

#include <cstddef>
#include <cstdint>

#include "platform/decoder.h"

namespace curvlog::platform {

// One file's decoding. The rows come top to bottom: next_row() rows() times, then finish().
// Closed by its destructor; neither copied nor moved.
class JpegDecoder {
 public:
  JpegDecoder() = default;
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // Starts on the input, whose first bytes have been taken already; header holds them again
  // (header_size of them: the start of image, the tables and the frame header, perhaps without
  // the application markers, which the decoder has no use for). path names the same file.
  DecodeStatus start(const ByteSource& input, const char* path, const std::uint8_t* header,
                     std::size_t header_size);
  const DecodedPixels& pixels() const;
  std::size_t row_bytes() const;  // a buffer this large takes every row
  std::uint32_t rows() const;     // the picture's height
  DecodeStatus next_row(std::uint8_t* buffer, RowPlace* place);
  // After the last row: the rest of the file, up to and including the end-of-image marker.
  DecodeStatus finish();
  // Back to the first row, for a second pass over the image.
  DecodeStatus restart();
  ErrorCode error() const;  // for kReadError

 private:
  void* state_ = nullptr;  // owned by the implementation
};

}  // namespace curvlog::platform
