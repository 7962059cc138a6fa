#pragma once

// What the system's image decoders (PNG, JPEG) share: where they take the file's bytes from,
// how they describe the rows they hand out, and how they fail.

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace curvlog::platform {

// The file's bytes as the program's buffered input hands them out: a decoder reads through
// this, never from the system's file itself, so that a reader sees one file position.
struct ByteSource {
  void* context = nullptr;
  // One read request: up to size bytes into buffer. Returns the number delivered (fewer only
  // at the end of the file), or -1 on failure with *error set.
  long (*read)(void* context, void* buffer, std::size_t size, ErrorCode* error) = nullptr;
  // Back to the file's first byte, for a second pass over it; false with *error when the file
  // cannot go back (a pipe, say).
  bool (*rewind)(void* context, ErrorCode* error) = nullptr;
};

// The largest width and height the program reads, as the TGA header allows; the readers refuse
// larger images before a decoder sees them.
inline constexpr std::uint32_t kLargestSide = 65535;

// What the rows hold. Each pixel has `channels` samples: a grey level or a palette index; grey
// and alpha; red, green and blue; or red, green, blue and alpha. A sample of 1, 2, 4 or 8 bits
// takes one byte (the value unscaled), a 16-bit sample two bytes, most significant first.
struct DecodedPixels {
  unsigned channels = 1;
  unsigned bits = 8;                  // significant bits per sample: 1, 2, 4, 8 or 16
  bool indexed = false;               // one channel of palette indices
  unsigned palette_size = 0;          // the entries of the palette, for indexed rows
  std::uint8_t palette[256][4] = {};  // red, green, blue, alpha (255: opaque)
};

// Where the pixels of a row lie in the image: row y, columns x, x + step, x + 2 step, and so
// on. An interlaced file may come pass by pass, each row of a pass a part of an image row.
struct RowPlace {
  std::uint32_t y = 0;
  std::uint32_t x = 0;
  std::uint32_t step = 1;
  std::uint32_t count = 0;  // pixels in the row
};

enum class DecodeStatus {
  kOk,
  kEndOfFile,     // the file ends before the image does
  kReadError,     // a read request failed; error() tells why
  kBadCrc,        // a chunk's CRC does not match its bytes (PNG)
  kBadChunk,      // a critical chunk or marker missing, out of place, unknown or malformed
  kBadImageData,  // the compressed image data is broken, or ends too early
  kOutOfMemory,   // the decoder's memory was refused, or would pass its limit
  kUnsupported,   // the system's decoder cannot deliver this kind of image exactly
};

}  // namespace curvlog::platform
