#pragma once

#include <cstdint>

#include "base/exit_code.h"
#include "base/input_file.h"
#include "image/data_bitmap.h"
#include "image/reader_options.h"

namespace curvlog {

// The 18-byte TGA header, field by field in file order (16-bit fields little-endian).
struct TgaHeader {
  std::uint8_t id_length = 0;
  std::uint8_t colour_map_type = 0;
  std::uint8_t image_type = 0;
  std::uint16_t colour_map_first = 0;
  std::uint16_t colour_map_length = 0;
  std::uint8_t colour_map_entry_size = 0;  // bits per colour-map entry
  std::uint16_t x_origin = 0;
  std::uint16_t y_origin = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t bits_per_pixel = 0;
  std::uint8_t descriptor = 0;
};

// Bytes per colour-map entry for an entry size in bits (15 or 16: 2, 24: 3, 32: 4), or 0 for
// an entry size that cannot be read.
unsigned tga_colour_map_entry_bytes(std::uint8_t entry_size);

// Where the pixel data begins: after the header, the image ID and the colour map.
std::uint64_t tga_pixel_offset(const TgaHeader& header);

// Reads the header one field per request, skips the image ID and, verbose, prints the fields.
// Ends the run with code 5 when the header cannot be read.
Ending tga_read_header(InputFile& input, bool verbose, TgaHeader& header);

// Runs every check, printing each fault; false when any failed. (A 1-bit file given with a
// colour list never gets here: the command line refuses it.)
bool tga_validate_header(const TgaHeader& header, const ReaderOptions& options);

// After a valid header in graph mode: allocates the bitmap and decodes the pixels, 1-bit rows
// stored inverted, 8-bit pixels by black&white or selected-colour classification; a big
// regular file in two parts at once. A decode that fails leaves no bitmap.
Ending tga_decode(InputFile& input, const TgaHeader& header, const ReaderOptions& options,
                  DataBitmap& bitmap);

}  // namespace curvlog
