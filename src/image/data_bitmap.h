#pragma once

#include <cstddef>
#include <cstdint>

#include "base/cancel.h"
#include "base/exit_code.h"
#include "base/input_file.h"
#include "base/owners.h"
#include "base/input_file.h"
#include "platform/platform.h"

namespace curvlog {

// One bit per pixel, most significant bit first; 1 is a data pixel. Row y (0 is the top row)
// begins at byte y * stride; bits at columns width and beyond carry no meaning.
struct DataBitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint32_t stride = 0;
  CArray<std::uint8_t> pixels;

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
// its code; after a cancellation, which may have ended the read, prints nothing and returns 0.
ExitCode report_pixel_read_failure(platform::ErrorCode error, int result, const char* input_name);

// The same for a request of the input (InputFile::view or read) that delivered nothing or too
// little: a negative result is a failed read, any other the end of the file.
ExitCode report_view_failure(const InputFile& input, long available, const char* input_name);

// A pixel that black&white input does not allow (neither black nor white): prints the
// grey-pixel message and returns code 6.
ExitCode report_grey_pixel(const char* input_name);

// The next buffered bytes of 1-bit rows, at most most of them: *data and *count are set, or the
// run ends at a failed read (5), the end of the file (6) or a cancellation (0), whose checkpoint
// follows the bytes' arrival. Inline: a run-length file asks once per run.
inline Ending next_row_bytes(InputFile& input, const char* input_name, std::uint32_t most,
                             const std::uint8_t** data, std::uint32_t* count) {
  const long available = input.view(data);
  if (available <= 0) return report_view_failure(input, available, input_name);
  if (cancel_requested()) return ExitCode::kSuccess;
  *count = static_cast<unsigned long>(available) < most ? std::uint32_t(available) : most;
  return kGoOn;
}

// The grey plane of the overlay: one byte per pixel, row by row from the top, width bytes a
// row. Bits 1 to 7 hold the pixel's grey level halved, bit 0 is set for a data pixel.

// The grey of a picture that the bitmap holds whole (1-bit input): black for a data pixel,
// white for any other; bit 0 clear.
void fill_grey_from_bitmap(const DataBitmap& bitmap, std::uint8_t* plane);

// Sets bit 0 of the byte of every data pixel in the bitmap's first rows rows, leaving the grey
// as it is; plane is where the first of those rows lies.
void mark_data_in_plane(const DataBitmap& bitmap, std::int32_t rows, std::uint8_t* plane);

// Stores count file bytes inverted, as 1-bit rows are kept: a black (0) pixel becomes a data
// pixel.
void store_inverted(std::uint8_t* out, const std::uint8_t* in, std::size_t count);

}  // namespace curvlog
