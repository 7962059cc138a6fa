#pragma once

#include <cstddef>
#include <cstdint>

#include "base/exit_code.h"
#include "base/input_file.h"
#include "image/data_bitmap.h"
#include "image/reader_options.h"

namespace curvlog {

inline constexpr std::size_t kPngSignatureSize = 8;
// The signature, then the IHDR chunk: length, type, 13 bytes of fields and the CRC.
inline constexpr std::size_t kPngHeaderSize = 33;

// True when bytes (size of them) begin with the PNG signature.
bool is_png_signature(const std::uint8_t* bytes, std::size_t size);

// The start of a PNG file as read, and the fields of its IHDR chunk.
struct PngHeader {
  std::uint8_t bytes[kPngHeaderSize] = {};
  std::uint32_t chunk_length = 0;  // of the first chunk, which has to be IHDR
  bool first_chunk_is_header = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bit_depth = 0;
  std::uint8_t colour_type = 0;
  std::uint8_t compression = 0;
  std::uint8_t filter = 0;
  std::uint8_t interlace = 0;
};

// Reads the signature and the IHDR chunk and, verbose, prints the kind of file and the fields. Ends
// the run with 6 when the file is too short to hold them, 5 when the read fails.
Ending png_read_header(InputFile& input, const char* input_name, bool verbose,
                       PngHeader& header);

// Runs every check of the IHDR chunk, printing each fault; false when any failed.
bool png_validate_header(const PngHeader& header, const char* input_name);

// After a valid header, reads the image as a picture (image/picture.h): grey levels, palette
// indices, indices into the table of a true-colour image's colours when it has at most 256, or
// else colours; transparency laid over white, 16-bit samples by their high byte. In census mode
// lists the values in use, or the main colours, and ends the run; otherwise allocates the
// bitmap and classifies every pixel into it. A decode that fails leaves no bitmap.
Ending png_decode(InputFile& input, const PngHeader& header, const ReaderOptions& options,
                  DataBitmap& bitmap);

}  // namespace curvlog
