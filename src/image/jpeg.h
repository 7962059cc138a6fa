#pragma once

#include <cstddef>
#include <cstdint>

#include "base/exit_code.h"
#include "base/owners.h"
#include "image/data_bitmap.h"
#include "image/reader_options.h"
#include "base/input_file.h"
#include "platform/platform.h"

namespace curvlog {

// True when bytes (size of them) begin as a JPEG file does: the start-of-image marker and the
// first byte of the next marker, FF D8 FF.
bool is_jpeg_signature(const std::uint8_t* bytes, std::size_t size);

// The start of a JPEG file up to and including its frame header (SOFn), and the frame's facts.
// The bytes are kept for the decoder, which reads them again: the start-of-image marker and
// every marker segment in file order, except the application data (APP1 to APP13, APP15) and
// comments, which say nothing about the pixels.
struct JpegHeader {
  CArray<std::uint8_t> bytes;
  std::size_t size = 0;
  std::size_t capacity = 0;

  std::uint8_t frame_marker = 0;  // 0xC0 to 0xCF
  unsigned precision = 0;         // bits per sample
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned components = 0;
  bool adobe = false;  // an Adobe APP14 marker came before the frame
  std::uint8_t adobe_transform = 0;
};

// Reads the markers up to and including the frame header and, verbose, names the kind of file
// and prints the frame's facts. Ends the run with 6 when the file ends first or its markers are
// malformed, 5 when the read fails, 7 when the bytes cannot be kept.
Ending jpeg_read_header(InputFile& input, const char* input_name, bool verbose,
                        JpegHeader& header);

// Runs every check of the frame header, printing each fault; false when any failed.
bool jpeg_validate_header(const JpegHeader& header, const char* input_name);

// After a valid header, decodes a greyscale picture, whose grey levels are its 8-bit values: in
// census mode lists the levels in use and ends the run; otherwise allocates the bitmap and
// classifies every pixel into it as an 8-bit TGA file's, except that without a colour list a
// pixel's level (black or white) decides. A colour picture is refused. A decode that fails
// leaves no bitmap.
Ending jpeg_decode(InputFile& input, const JpegHeader& header,
                   const ReaderOptions& options, DataBitmap& bitmap);

}  // namespace curvlog
