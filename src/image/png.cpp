#include "image/png.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/console.h"
#include "image/picture.h"
#include "platform/png.h"

namespace curvlog {
namespace {

using platform::DecodeStatus;

constexpr std::uint8_t kSignature[kPngSignatureSize] = {0x89, 'P',  'N',  'G',
                                                        '\r', '\n', 0x1A, '\n'};

// Colour types of the IHDR chunk.
constexpr std::uint8_t kGreyscale = 0;
constexpr std::uint8_t kTrueColour = 2;
constexpr std::uint8_t kPalette = 3;
constexpr std::uint8_t kGreyAlpha = 4;
constexpr std::uint8_t kTrueColourAlpha = 6;

std::uint32_t big_endian_32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void report_header_fault(const char* fault_format, unsigned value, const char* input_name) {
  print(fault_format, value);
  print("%s is not a valid PNG file\n\n", input_name);
}

// The bit depths a colour type allows: bit d of the mask stands for depth d.
struct DepthRule {
  std::uint32_t depths;
  const char* text;
};

DepthRule depth_rule(std::uint8_t colour_type) {
  switch (colour_type) {
    case kPalette:
      return {1u << 1 | 1u << 2 | 1u << 4 | 1u << 8, "1, 2, 4 or 8"};
    case kTrueColour:
    case kGreyAlpha:
    case kTrueColourAlpha:
      return {1u << 8 | 1u << 16, "8 or 16"};
    default:  // greyscale, and any depth of PNG for a colour type that is none
      return {1u << 1 | 1u << 2 | 1u << 4 | 1u << 8 | 1u << 16, "1, 2, 4, 8 or 16"};
  }
}

ExitCode report_damage(const char* input_name, const char* what) {
  print("\nError: the PNG file %s is damaged:\n%s\n\n", input_name, what);
  return ExitCode::kInvalidContent;
}

ExitCode report_decoder_failure(DecodeStatus status, platform::ErrorCode error,
                                const char* input_name) {
  switch (status) {
    case DecodeStatus::kOk:  // not a failure; never asked
    case DecodeStatus::kEndOfFile:
      return report_pixel_read_failure(0, InputFile::kEndOfFile, input_name);
    case DecodeStatus::kReadError:
      return report_pixel_read_failure(error, InputFile::kReadError, input_name);
    case DecodeStatus::kBadCrc:
      return report_damage(input_name, "a chunk has a bad CRC");
    case DecodeStatus::kBadChunk:
      return report_damage(input_name, "a critical chunk is missing, misplaced or malformed");
    case DecodeStatus::kBadImageData:
      return report_damage(input_name, "its compressed image data is broken");
    case DecodeStatus::kOutOfMemory:
      print("Error: unable to allocate memory to decode the PNG file\n\n");
      return ExitCode::kOutOfMemory;
    case DecodeStatus::kUnsupported:
      print("\nError: the PNG file %s is of a kind that this system's decoder cannot\n",
            input_name);
      print("deliver exactly. Save the graph as a PNG file with a palette.\n\n");
      return ExitCode::kInvalidContent;
  }
  return ExitCode::kInvalidContent;
}

}  // namespace

bool is_png_signature(const std::uint8_t* bytes, std::size_t size) {
  return size >= kPngSignatureSize && std::memcmp(bytes, kSignature, kPngSignatureSize) == 0;
}

Ending png_read_header(InputFile& input, const char* input_name, bool verbose,
                       PngHeader& header) {
  if (verbose) print("Using PNG input file format.\n\n");
  const long got = input.read(header.bytes, sizeof header.bytes);
  if (got != long{sizeof header.bytes}) return report_view_failure(input, got, input_name);
  const std::uint8_t* const chunk = header.bytes + kPngSignatureSize;
  header.chunk_length = big_endian_32(chunk);
  header.first_chunk_is_header =
      header.chunk_length == 13 && std::memcmp(chunk + 4, "IHDR", 4) == 0;
  const std::uint8_t* const fields = chunk + 8;
  header.width = big_endian_32(fields);
  header.height = big_endian_32(fields + 4);
  header.bit_depth = fields[8];
  header.colour_type = fields[9];
  header.compression = fields[10];
  header.filter = fields[11];
  header.interlace = fields[12];
  if (verbose && header.first_chunk_is_header) {
    print("PNG bit depth: %u\n", unsigned{header.bit_depth});
    print("PNG color type: %u\n", unsigned{header.colour_type});
    print("PNG interlace method: %u\n", unsigned{header.interlace});
    print("Image width: %lu\n", static_cast<unsigned long>(header.width));
    print("Image height: %lu\n", static_cast<unsigned long>(header.height));
  }
  return kGoOn;
}

bool png_validate_header(const PngHeader& header, const char* input_name) {
  if (!header.first_chunk_is_header) {
    // Without IHDR the fields are not there to check.
    print("Error: the first chunk of a PNG file has to be IHDR, or\n");
    print("%s is not a valid PNG file\n\n", input_name);
    return false;
  }
  bool valid = true;
  if (header.width == 0) {
    report_header_fault("Error: the width of the graph has to be at least 1 instead of %u, or\n", 0,
                        input_name);
    valid = false;
  } else if (header.width > platform::kLargestSide) {
    print("Error: the graph in %s is %lu pixels wide; CURVLOG reads at most 65535\n\n", input_name,
          static_cast<unsigned long>(header.width));
    valid = false;
  }
  if (header.height == 0) {
    report_header_fault("Error: the height of the graph has to be at least 1 instead of %u, or\n",
                        0, input_name);
    valid = false;
  } else if (header.height > platform::kLargestSide) {
    print("Error: the graph in %s is %lu pixels high; CURVLOG reads at most 65535\n\n", input_name,
          static_cast<unsigned long>(header.height));
    valid = false;
  }
  const std::uint8_t type = header.colour_type;
  if (type != kGreyscale && type != kTrueColour && type != kPalette && type != kGreyAlpha &&
      type != kTrueColourAlpha) {
    report_header_fault("Error: the PNG color type has to be 0, 2, 3, 4 or 6 instead of %u, or\n",
                        type, input_name);
    valid = false;
  }
  const DepthRule rule = depth_rule(type);
  if (header.bit_depth > 16 || (rule.depths >> header.bit_depth & 1) == 0) {
    print("Error: the PNG bit depth has to be %s instead of %u, or\n", rule.text,
          unsigned{header.bit_depth});
    print("%s is not a valid PNG file\n\n", input_name);
    valid = false;
  }
  if (header.compression != 0) {
    report_header_fault("Error: the PNG compression method has to be 0 instead of %u, or\n",
                        header.compression, input_name);
    valid = false;
  }
  if (header.filter != 0) {
    report_header_fault("Error: the PNG filter method has to be 0 instead of %u, or\n",
                        header.filter, input_name);
    valid = false;
  }
  if (header.interlace > 1) {
    report_header_fault("Error: the PNG interlace method has to be 0 or 1 instead of %u, or\n",
                        header.interlace, input_name);
    valid = false;
  }
  return valid;
}

Ending png_decode(InputFile& input, const PngHeader& header, const ReaderOptions& options,
                  DataBitmap& bitmap) {
  const char* const name = options.input_name;
  platform::PngDecoder decoder;
  const DecodeStatus status =
      decoder.start(byte_source(input), name, header.bytes, sizeof header.bytes);
  if (status != DecodeStatus::kOk) return report_decoder_failure(status, decoder.error(), name);
  const bool palette = header.colour_type == kPalette;
  const bool grey = header.colour_type == kGreyscale || header.colour_type == kGreyAlpha;
  // A palette image comes as indices; a grey one may come so too, into a palette of greys.
  const bool indexed = decoder.pixels().indexed;
  if (indexed != palette && !(indexed && grey)) {
    return report_decoder_failure(DecodeStatus::kUnsupported, decoder.error(), name);
  }
  PictureKind kind;
  kind.width = header.width;
  kind.height = header.height;
  kind.grey = grey;
  kind.colour_table = true;
  kind.report_failure = report_decoder_failure;
  kind.name = "PNG";
  kind.no_index_values = "has more than 256 colors";
  return read_picture(picture_decoder(decoder), kind, options, bitmap);
}

}  // namespace curvlog
