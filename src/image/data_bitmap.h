#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "app/exit_code.h"
#include "platform/platform.h"

namespace curvlog {

// Owns a block from the C allocator, which refuses without throwing.
struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

struct ColumnTally;  // image/column_tally.h

// One bit per pixel, most significant bit first; 1 is a data pixel. Row y (0 is the top row)
// begins at byte y * stride; bits at columns width and beyond carry no meaning.
struct DataBitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t stride = 0;
  std::unique_ptr<std::uint8_t[], FreeDeleter> pixels;
  // The sums of each of the width columns over all height rows as decoded, when the reader
  // made them as it went; null otherwise.
  std::unique_ptr<ColumnTally[], FreeDeleter> tallies;

  std::uint8_t* row(std::int32_t y) { return pixels.get() + std::size_t(y) * stride; }
  const std::uint8_t* row(std::int32_t y) const { return pixels.get() + std::size_t(y) * stride; }
  bool pixel(std::int32_t x, std::int32_t y) const { return (row(y)[x / 8] >> (7 - x % 8)) & 1; }
};

// Allocates stride * height zero bytes (the product formed in 32 bits; an overflow counts as
// a refusal). On refusal prints "Error: unable to allocate memory to store the bitmap" and ends
// the run with code 7.
Ending allocate_data_bitmap(std::int32_t width, std::int32_t height, std::uint32_t stride,
                            DataBitmap& bitmap);

// A pixel-data read request that did not deliver (result kReadError with the system's error,
// or kEndOfFile): prints the read-failure (code 5) or early-end (code 6) message and returns
// its code.
ExitCode report_pixel_read_failure(platform::ErrorCode error, int result, const char* input_name);
inline ExitCode report_pixel_read_failure(const platform::InputFile& input, int result,
                                          const char* input_name) {
  return report_pixel_read_failure(input.error(), result, input_name);
}

// Stores count file bytes inverted, as 1-bit rows are kept: a black (0) pixel becomes a data
// pixel.
void store_inverted(std::uint8_t* out, const std::uint8_t* in, std::size_t count);

// How the byte-row decoder takes the file's bytes: PCX run-length codes, or raw bytes
// (1-bit TGA).
enum class RowMode { kRunLength, kRaw };

// Fills every row of the allocated bitmap from the file's current position, storing each
// decoded byte inverted (a black pixel becomes a data pixel), and hands over the column sums
// when their memory could be had. Ends with 5 on a read failure, 6 at an early end of file, 0
// on cancellation.
Ending decode_byte_rows(platform::InputFile& input, const char* input_name, RowMode mode,
                        DataBitmap& bitmap);

}  // namespace curvlog
