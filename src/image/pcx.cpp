#include "image/pcx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/cancel.h"
#include "base/console.h"

namespace curvlog {
namespace {

std::uint16_t little_endian_16(const std::uint8_t* bytes) {
  return std::uint16_t(bytes[0] | bytes[1] << 8);
}

}  // namespace

PcxHeader pcx_parse_header(const std::uint8_t (&bytes)[kPcxHeaderSize]) {
  PcxHeader header;
  header.manufacturer = bytes[0];
  header.bits_per_pixel = bytes[3];
  header.x_min = little_endian_16(bytes + 4);
  header.y_min = little_endian_16(bytes + 6);
  header.x_max = little_endian_16(bytes + 8);
  header.y_max = little_endian_16(bytes + 10);
  header.planes = bytes[65];
  header.bytes_per_line = little_endian_16(bytes + 66);
  return header;
}

Ending pcx_read_header(InputFile& input, PcxHeader& header) {
  std::uint8_t bytes[kPcxHeaderSize];
  const long count = input.read(bytes, sizeof bytes);
  if (count != long{sizeof bytes} && cancel_requested()) return ExitCode::kSuccess;
  if (count < 0) {
    print("Error: cannot read PCX file header (%lu)\n\n", input.error());
    return ExitCode::kReadFailure;
  }
  if (static_cast<unsigned long>(count) < sizeof bytes) {
    print("Error: cannot read PCX file header\n\n");
    return ExitCode::kReadFailure;
  }
  header = pcx_parse_header(bytes);
  return kGoOn;
}

bool pcx_validate_header(const PcxHeader& header, const char* input_name, bool verbose,
                         std::int32_t& width, std::int32_t& height) {
  bool valid = true;
  if (header.manufacturer != 10) {
    print("Error: the first byte of the input file has to be 10 (hex: 0A) instead of %u, or\n",
          unsigned{header.manufacturer});
    // "or" ends the first line and starts the second: users and scripts know this message
    // word for word, so the doubled word stays.
    print("or %s is not a valid PCX file\n\n", input_name);
    valid = false;
  }
  if (verbose) print("Bits per pixel: %u\n", unsigned{header.bits_per_pixel});
  if (header.bits_per_pixel != 1) {
    print(
        "Error: only a black&white PCX file can be used. The number of bits per pixel\n"
        "should be 1, but it is %u.\n\n",
        unsigned{header.bits_per_pixel});
    valid = false;
  }
  if (verbose) print("Number of planes: %u\n", unsigned{header.planes});
  if (header.planes != 1) {
    print("Error: the number of planes should be 1, but it is %u\n\n", unsigned{header.planes});
    valid = false;
  }

  // Both sizes come from zero-extended 16-bit values, so they lie in -65534..65536. A window
  // one pixel wide or high counts as a fault of its own.
  width = std::int32_t{header.x_max} - std::int32_t{header.x_min} + 1;
  if (header.x_max <= header.x_min) {
    print("Error: the width found is %d\n\n", width);
    valid = false;
  }
  if (verbose) print("Image width: %d\n", width);
  height = std::int32_t{header.y_max} - std::int32_t{header.y_min} + 1;
  if (header.y_max <= header.y_min) {
    print("Error: the height found is %d\n\n", height);
    valid = false;
  }
  if (verbose) print("Image height: %d\n", height);

  if (width < 1) {
    print("Error: the width of the graph has to be at least 1 instead of %d, or\n", width);
    print("%s is not a valid PCX file\n\n", input_name);
    valid = false;
  }
  if (height < 1) {
    print("Error: the height of the graph has to be at least 1 instead of %d, or\n", height);
    print("%s is not a valid PCX file\n\n", input_name);
    valid = false;
  }
  // The stride is the bytes per line: rows narrower than the width would leave pixel columns
  // outside the row, where the column scan must never look.
  if (width >= 1) {
    const std::int32_t needed = (width + 7) / 8;
    if (std::int32_t{header.bytes_per_line} < needed) {
      print("Error: the number of bytes per line has to be at least %d instead of %u, or\n", needed,
            unsigned{header.bytes_per_line});
      print("%s is not a valid PCX file\n\n", input_name);
      valid = false;
    }
  }
  return valid;
}

Ending pcx_decode(InputFile& input, const PcxHeader& header, std::int32_t width,
                  std::int32_t height, const char* input_name, DataBitmap& bitmap) {
  if (cancel_requested()) return ExitCode::kSuccess;
  if (Ending ending = allocate_data_bitmap(width, height, header.bytes_per_line, bitmap)) {
    return ending;
  }
  return pcx_decode_rows(input, input_name, bitmap);
}

Ending pcx_decode_rows(InputFile& input, const char* input_name, DataBitmap& bitmap) {
  const std::uint32_t stride = bitmap.stride;
  constexpr unsigned kFirstRunCode = 0xC1;  // 0xC0 itself is a literal
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    std::uint8_t* const row = bitmap.row(y);
    std::uint32_t k = 0;
    while (k < stride) {
      // The bytes are taken a buffered span at a time (at most one 64 KiB block of work
      // between two cancel checkpoints, microseconds).
      const std::uint8_t* data = nullptr;
      std::uint32_t span = 0;
      if (Ending ending = next_row_bytes(input, input_name, stride - k, &data, &span)) {
        return ending;
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
      if (span > i + 1) {
        value = data[i + 1];
        input.consume(i + 2);
      } else {
        input.consume(i + 1);
        value = input.read_byte();
        if (value < 0) return report_pixel_read_failure(input.error(), value, input_name);
      }
      const std::uint32_t stored = std::min(stride - k, count);
      std::memset(row + k, 255 - value, stored);
      k += stored;
    }
  }
  // Whatever follows the last row (a trailing palette, say) is left unread.
  return kGoOn;
}

}  // namespace curvlog
