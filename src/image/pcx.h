#pragma once

#include <cstddef>
#include <cstdint>

#include "base/exit_code.h"
#include "base/input_file.h"
#include "image/data_bitmap.h"

namespace curvlog {

inline constexpr std::size_t kPcxHeaderSize = 128;

// The fields of the 128-byte PCX header that the reader uses.
struct PcxHeader {
  std::uint8_t manufacturer = 0;    // offset 0, must be 10
  std::uint8_t bits_per_pixel = 0;  // offset 3, must be 1
  std::uint16_t x_min = 0;          // offsets 4 to 11: the image window
  std::uint16_t y_min = 0;
  std::uint16_t x_max = 0;
  std::uint16_t y_max = 0;
  std::uint8_t planes = 0;           // offset 65, must be 1
  std::uint16_t bytes_per_line = 0;  // offset 66, the bitmap's stride
};

PcxHeader pcx_parse_header(const std::uint8_t (&bytes)[kPcxHeaderSize]);

// Reads the header in one request of 128 bytes; ends the run with code 5 when it fails.
Ending pcx_read_header(InputFile& input, PcxHeader& header);

// Runs every header check in order, printing each fault (and, verbose, the header fields).
// Returns true when the header is valid; width and height are set either way.
bool pcx_validate_header(const PcxHeader& header, const char* input_name, bool verbose,
                         std::int32_t& width, std::int32_t& height);

// Fills every row of the allocated bitmap from the run-length codes at the file's current
// position, each byte stored inverted (a black pixel becomes a data pixel). Ends with 5 on a
// read failure, 6 at an early end of file, 0 on cancellation.
Ending pcx_decode_rows(InputFile& input, const char* input_name, DataBitmap& bitmap);

// After a valid header: the cancel checkpoint, the allocation and the run-length decoding.
Ending pcx_decode(InputFile& input, const PcxHeader& header, std::int32_t width,
                  std::int32_t height, const char* input_name, DataBitmap& bitmap);

}  // namespace curvlog
