#include "image/data_bitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/cancel.h"
#include "app/console.h"
#include "image/column_tally.h"

namespace curvlog {

ExitCode report_pixel_read_failure(platform::ErrorCode error, int result, const char* input_name) {
  if (result == platform::InputFile::kReadError) {
    print("\nError: cannot read file %s (%lu)\n\n", input_name, error);
    return ExitCode::kReadFailure;
  }
  print("\nError: unexpected end of file %s\n\n", input_name);
  return ExitCode::kInvalidContent;
}

void store_inverted(std::uint8_t* out, const std::uint8_t* in, std::size_t count) {
  // A pointer and a size_t count: the loop vectorises.
  for (std::size_t i = 0; i < count; ++i) out[i] = std::uint8_t(~in[i]);
}

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
  // Decoding writes every byte of the block once, row by row.
  platform::advise_large_block(block, std::size_t(size));
  bitmap.pixels.reset(block);
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = stride;
  return kGoOn;
}

Ending decode_byte_rows(platform::InputFile& input, const char* input_name, RowMode mode,
                        DataBitmap& bitmap) {
  const std::uint32_t stride = bitmap.stride;
  constexpr unsigned kFirstRunCode = 0xC1;  // 0xC0 itself is a literal
  ColumnSums sums(bitmap);
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    std::uint8_t* const row = bitmap.row(y);
    std::uint32_t k = 0;
    while (k < stride) {
      // The bytes are taken a buffered span at a time. The cancel checkpoint follows the first
      // byte of each span (at most one 64 KiB block of work between two, microseconds).
      const std::uint8_t* data = nullptr;
      const long available = input.view(&data);
      if (available <= 0) {
        return report_pixel_read_failure(
            input,
            available < 0 ? platform::InputFile::kReadError : platform::InputFile::kEndOfFile,
            input_name);
      }
      if (cancel_requested()) return ExitCode::kSuccess;
      const std::uint32_t span =
          std::uint32_t(std::min<unsigned long>(static_cast<unsigned long>(available), stride - k));
      if (mode == RowMode::kRaw) {
        store_inverted(row + k, data, span);
        input.consume(span);
        k += span;
        continue;
      }
      // Literals up to the first run code, which may be the span's last byte.
      std::uint32_t i = 0;
      while (i < span && data[i] < kFirstRunCode) row[k++] = std::uint8_t(~data[i++]);
      if (i == span) {
        input.consume(span);
        continue;
      }
      // A run code: its low six bits count the repeats of the next byte. Repeats that reach
      // past the end of the row are dropped; the next row starts with the next code.
      const std::uint32_t count = data[i] - 0xC0u;
      int value;
      if (static_cast<unsigned long>(available) > i + 1) {
        value = data[i + 1];
        input.consume(i + 2);
      } else {
        input.consume(i + 1);
        value = input.read_byte();
        if (value < 0) return report_pixel_read_failure(input, value, input_name);
      }
      const std::uint32_t stored = stride - k < count ? stride - k : count;
      std::memset(row + k, 255 - value, stored);
      k += stored;
    }
    // While the row is in the cache: the column scan need not read it back.
    sums.add(row, y);
  }
  sums.hand_over(bitmap);
  // Whatever follows the last row (a trailing palette, say) is left unread.
  return kGoOn;
}

}  // namespace curvlog
