#include "image/data_bitmap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/cancel.h"
#include "app/console.h"

namespace curvlog {
namespace {

// The two ways the file can fail a read request in the middle of the pixel data.
ExitCode report_read_failure(const platform::InputFile& input, int result, const char* input_name) {
  if (result == platform::InputFile::kReadError) {
    print("\nError: cannot read file %s (%lu)\n\n", input_name, input.error());
    return ExitCode::kReadFailure;
  }
  print("\nError: unexpected end of file %s\n\n", input_name);
  return ExitCode::kInvalidContent;
}

}  // namespace

Ending allocate_data_bitmap(std::int32_t width, std::int32_t height, std::uint32_t stride,
                            DataBitmap& bitmap) {
  // The block size must fit 32 bits; a larger product is refused like a failed allocation,
  // before anything is asked of the allocator.
  const std::uint64_t size = std::uint64_t{stride} * std::uint32_t(height);
  std::uint8_t* block = nullptr;
  if (height >= 0 && size <= UINT32_MAX) {
    // calloc of 0 bytes may legally return null; one byte keeps a valid (empty) bitmap.
    block = static_cast<std::uint8_t*>(std::calloc(size != 0 ? std::size_t(size) : 1, 1));
  }
  if (block == nullptr) {
    print("Error: unable to allocate memory to store the bitmap\n\n");
    return ExitCode::kOutOfMemory;
  }
  bitmap.pixels.reset(block);
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = stride;
  return kGoOn;
}

Ending decode_byte_rows(platform::InputFile& input, const char* input_name, RowMode mode,
                        DataBitmap& bitmap) {
  const std::uint32_t stride = bitmap.stride;
  // Raw bytes are never run codes: a threshold above every byte value keeps one loop for both.
  const int first_run_code = mode == RowMode::kRunLength ? 0xC1 : 0x100;
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    std::uint8_t* const row = bitmap.row(y);
    std::uint32_t k = 0;
    while (k < stride) {
      int value = input.read_byte();
      if (value < 0) return report_read_failure(input, value, input_name);
      if (cancel_requested()) return ExitCode::kSuccess;
      if (value < first_run_code) {
        row[k++] = std::uint8_t(255 - value);
        continue;
      }
      // A run code: its low six bits count the repeats of the next byte. Repeats that reach
      // past the end of the row are dropped; the next row starts with the next code.
      const std::uint32_t count = std::uint32_t(value - 0xC0);
      value = input.read_byte();
      if (value < 0) return report_read_failure(input, value, input_name);
      const std::uint32_t stored = stride - k < count ? stride - k : count;
      std::memset(row + k, 255 - value, stored);
      k += stored;
    }
  }
  // Whatever follows the last row (a trailing palette, say) is left unread.
  return kGoOn;
}

}  // namespace curvlog
