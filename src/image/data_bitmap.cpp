#include "image/data_bitmap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/console.h"

namespace curvlog {

ExitCode report_pixel_read_failure(platform::ErrorCode error, int result, const char* input_name) {
  // An interrupt ends a waiting read: the run ends as cancelled, not with the file at fault.
  if (cancel_requested()) return ExitCode::kSuccess;
  if (result == InputFile::kReadError) {
    print("\nError: cannot read file %s (%lu)\n\n", input_name, error);
    return ExitCode::kReadFailure;
  }
  print("\nError: unexpected end of file %s\n\n", input_name);
  return ExitCode::kInvalidContent;
}

ExitCode report_view_failure(const InputFile& input, long available, const char* input_name) {
  return report_pixel_read_failure(
      input.error(), available < 0 ? InputFile::kReadError : InputFile::kEndOfFile, input_name);
}

ExitCode report_grey_pixel(const char* input_name) {
  print("Error: no color index value specified, or grey pixel found in black&white\n");
  print("file %s\n\n", input_name);
  return ExitCode::kInvalidContent;
}

void store_inverted(std::uint8_t* out, const std::uint8_t* in, std::size_t count) {
  // A pointer and a size_t count: the loop vectorises.
  for (std::size_t i = 0; i < count; ++i) out[i] = std::uint8_t(~in[i]);
}

namespace {

// Hands each bitmap byte of the first rows rows to apply with the plane bytes of its pixels:
// eight, fewer at the end of a row. The bits beyond the width are never looked at.
template <typename Apply>
void for_each_plane_byte(const DataBitmap& bitmap, std::int32_t rows, std::uint8_t* plane,
                         Apply apply) {
  const std::size_t width = std::size_t(bitmap.width);
  for (std::int32_t y = 0; y < rows; ++y) {
    const std::uint8_t* const bits = bitmap.row(y);
    std::uint8_t* const out = plane + std::size_t(y) * width;
    for (std::size_t x = 0; x < width; x += 8) {
      apply(out + x, bits[x / 8], width - x < 8 ? width - x : 8);
    }
  }
}

// For each bitmap byte, the grey of its eight pixels: black (0) for a data pixel, white (254:
// 255 with bit 0 clear) for any other.
struct EightGreys {
  std::uint8_t bytes[256][8];

  EightGreys() {
    for (unsigned bits = 0; bits < 256; ++bits) {
      for (unsigned i = 0; i < 8; ++i) bytes[bits][i] = (bits >> (7 - i) & 1) ? 0 : 254;
    }
  }
};

}  // namespace

void fill_grey_from_bitmap(const DataBitmap& bitmap, std::uint8_t* plane) {
  const EightGreys grey;
  for_each_plane_byte(bitmap, bitmap.height, plane, [&](std::uint8_t* out, std::uint8_t bits, std::size_t n) {
    if (n == 8) {
      std::memcpy(out, grey.bytes[bits], 8);  // one store
    } else {
      std::memcpy(out, grey.bytes[bits], n);
    }
  });
}

void mark_data_in_plane(const DataBitmap& bitmap, std::int32_t rows, std::uint8_t* plane) {
  for_each_plane_byte(bitmap, rows, plane, [](std::uint8_t* out, std::uint8_t bits, std::size_t n) {
    if (bits == 0) return;  // most of a graph
    for (std::size_t i = 0; i < n; ++i) out[i] = std::uint8_t(out[i] | (bits >> (7 - i) & 1));
  });
}

Ending allocate_data_bitmap(std::int32_t width, std::int32_t height, std::uint32_t stride,
                            DataBitmap& bitmap) {
  // The block size must fit 32 bits; a larger product is refused like a failed allocation,
  // before anything is asked of the allocator.
  const std::uint64_t size = std::uint64_t{stride} * std::uint32_t(height);
  CArray<std::uint8_t> block;
  // calloc of 0 bytes may legally return null; one byte keeps a valid (empty) bitmap.
  if (height >= 0 && size <= UINT32_MAX) {
    block = allocate_zeroed<std::uint8_t>(size != 0 ? std::size_t(size) : 1);
  }
  if (!block) {
    print("Error: unable to allocate memory to store the bitmap\n\n");
    return ExitCode::kOutOfMemory;
  }
  // Decoding writes every byte of the block once, row by row: large pages spare most of the
  // page faults of those first writes.
  platform::advise_large_block(block.get(), std::size_t(size));
  bitmap.pixels = std::move(block);
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = stride;
  return kGoOn;
}

}  // namespace curvlog
