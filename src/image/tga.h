#pragma once

#include <cstdint>

#include "app/exit_code.h"
#include "app/settings.h"
#include "image/data_bitmap.h"
#include "image/two_part_read.h"
#include "platform/platform.h"

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

// The ending of a two-part pixel read, reported like the same end of a front-to-back read:
// nothing for a read that went through or stopped at a fault of the content (which the caller
// reports, knowing what it was), 0 for a cancelled one, else the read-failure message.
Ending end_of_two_part_read(const TwoPartOutcome& outcome, const char* input_name);

// Reads the header one field per request, skips the image ID and, verbose, prints the fields.
// Ends the run with code 5 when the header cannot be read.
Ending tga_read_header(platform::InputFile& input, bool verbose, TgaHeader& header);

// Validation. A 1-bit file with a colour list ends the run at once (code 2); every other check
// prints its fault and clears *valid, and all of them run.
Ending tga_validate_header(const TgaHeader& header, const RunSettings& settings, bool* valid);

// After a valid header in graph mode: allocates the bitmap and decodes the pixels, 1-bit rows
// as the byte-row decoder's raw mode does, 8-bit pixels by black&white or selected-colour
// classification; a big regular file in two parts at once. The column sums come with the
// bitmap when their memory could be had. Sets settings.pcx_input again for a 1-bit file.
Ending tga_decode(platform::InputFile& input, const TgaHeader& header, RunSettings& settings,
                  DataBitmap& bitmap);

// The steps in which 8-bit pixels are classified into whole bitmap bytes: eight pixels in a
// 64-bit word, 16 or 32 pixels in a vector register. The widest that the processor runs is
// used. Tests only: caps it, so that every step can be checked on any processor.
enum class ClassifyWidth { kWord, k128, k256 };
void limit_classify_width_for_testing(ClassifyWidth widest);

}  // namespace curvlog
