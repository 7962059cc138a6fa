#include "image/tga.h"

#include <cstddef>
#include <cstdint>

#include "app/cancel.h"
#include "app/console.h"

namespace curvlog {
namespace {

constexpr std::uint8_t kColourMapped = 1;  // image type
constexpr std::uint8_t kGreyscale = 3;     // image type; 1-bit black&white files too
constexpr std::uint8_t kLastUncompressedType = 8;
constexpr std::uint8_t kTopLeftOrigin = 0x20;  // descriptor: origin bit set, no attribute bits

// One header field, read in one request of its own width; 16-bit fields are little-endian.
// Bytes that a short read did not deliver stay 0; the caller notices them by the sum.
template <typename Field>
bool read_field(platform::InputFile& input, Field& field, long& delivered) {
  std::uint8_t bytes[sizeof(Field)] = {};
  const long count = input.read(bytes, sizeof bytes);
  if (count < 0) return false;
  delivered += count;
  unsigned value = 0;
  for (std::size_t i = sizeof bytes; i-- > 0;) value = value << 8 | bytes[i];
  field = static_cast<Field>(value);
  return true;
}

// The kinds of image the reader accepts. A 1-bit file given with a colour list never gets
// here: it is refused before this check.
bool is_supported_kind(const TgaHeader& header) {
  if (header.bits_per_pixel == 1 || header.bits_per_pixel == 8) {
    if (header.image_type == kGreyscale && header.colour_map_type == 0 &&
        header.colour_map_length == 0) {
      return true;
    }
  }
  return header.bits_per_pixel == 8 && header.image_type == kColourMapped &&
         header.colour_map_type == 1 && header.colour_map_length >= 1 &&
         tga_colour_map_entry_bytes(header.colour_map_entry_size) != 0;
}

// The common shape of most header faults: the fault with its value, then the file name.
void report_header_fault(const char* fault_format, unsigned value, const char* input_name) {
  print(fault_format, value);
  print("%s is not a valid TGA file\n\n", input_name);
}

// What an 8-bit pixel value becomes in the data bitmap.
constexpr std::uint8_t kBackground = 0;
constexpr std::uint8_t kData = 1;
constexpr std::uint8_t kGreyPixel = 2;  // black&white input allows only 0 and 255

using PixelClasses = std::uint8_t[256];

void classify_values(const RunSettings& settings, PixelClasses& classes) {
  for (unsigned v = 0; v < 256; ++v) {
    if (settings.colour_list_given) {
      classes[v] = settings.selected_colours[v] ? kData : kBackground;
    } else {
      classes[v] = v == 0 ? kData : v == 255 ? kBackground : kGreyPixel;
    }
  }
}

// Reads count (1 to 8) pixels and stores them as one bitmap byte, the first pixel in the most
// significant bit and the bits beyond count 0. Building the byte in a register and storing it
// once gives the same byte as shifting each pixel into memory. The cancel checkpoint is taken
// once per byte of output, before its first pixel is read: the flag is read at least every
// eight pixels, and the innermost loop stays free of the atomic load (which measured up to
// twice as slow there).
Ending read_pixel_byte(platform::InputFile& input, const char* input_name,
                       const PixelClasses& classes, unsigned count, std::uint8_t* out) {
  if (cancel_requested()) return ExitCode::kSuccess;
  unsigned bits = 0;
  for (unsigned i = 0; i < count; ++i) {
    const int value = input.read_byte();
    if (value < 0) return report_pixel_read_failure(input, value, input_name);
    const unsigned bit = classes[value];
    if (bit == kGreyPixel) {
      print("Error: no color index value specified, or grey pixel found in black&white\n");
      print("file %s\n\n", input_name);
      return ExitCode::kInvalidContent;
    }
    bits = bits << 1 | bit;
  }
  *out = static_cast<std::uint8_t>(bits << (8 - count));
  return kGoOn;
}

Ending decode_pixel_rows(platform::InputFile& input, const char* input_name,
                         const PixelClasses& classes, DataBitmap& bitmap) {
  const std::uint32_t whole_bytes = std::uint32_t(bitmap.width) / 8;
  const unsigned rest = std::uint32_t(bitmap.width) % 8;
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    std::uint8_t* const row = bitmap.row(y);
    for (std::uint32_t k = 0; k < whole_bytes; ++k) {
      if (Ending ending = read_pixel_byte(input, input_name, classes, 8, row + k)) return ending;
    }
    if (rest != 0) {
      Ending ending = read_pixel_byte(input, input_name, classes, rest, row + whole_bytes);
      if (ending) return ending;
    }
  }
  // Whatever follows the last row (a footer, say) is left unread.
  return kGoOn;
}

// Fills the allocated bitmap from the pixel data that follows the header and the image ID.
Ending decode_pixels(platform::InputFile& input, const TgaHeader& header, RunSettings& settings,
                     DataBitmap& bitmap) {
  if (header.bits_per_pixel == 1) {
    // 1-bit rows are the PCX rows without run-length codes.
    settings.pcx_input = true;
    return decode_byte_rows(input, settings.input_name, RowMode::kRaw, bitmap);
  }
  if (header.colour_map_length != 0) {
    // At most 4 x 65535 bytes: no overflow.
    const std::uint32_t map_bytes =
        tga_colour_map_entry_bytes(header.colour_map_entry_size) * header.colour_map_length;
    if (!input.skip(map_bytes)) {
      print("Error: cannot read TGA file header (%lu)\n\n", input.error());
      return ExitCode::kReadFailure;
    }
  }
  PixelClasses classes;
  classify_values(settings, classes);
  return decode_pixel_rows(input, settings.input_name, classes, bitmap);
}

}  // namespace

unsigned tga_colour_map_entry_bytes(std::uint8_t entry_size) {
  switch (entry_size) {
    case 15:
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return 0;
  }
}

ExitCode report_pixel_read_failure(const platform::InputFile& input, int result,
                                   const char* input_name) {
  if (result == platform::InputFile::kReadError) {
    print("\nError: cannot read file %s (%lu)\n\n", input_name, input.error());
    return ExitCode::kReadFailure;
  }
  print("\nError: unexpected end of file %s\n\n", input_name);
  return ExitCode::kInvalidContent;
}

Ending tga_read_header(platform::InputFile& input, bool verbose, TgaHeader& header) {
  // Every field is asked for even after a short read; only a failed request stops at once.
  long delivered = 0;
  const bool read = read_field(input, header.id_length, delivered) &&
                    read_field(input, header.colour_map_type, delivered) &&
                    read_field(input, header.image_type, delivered) &&
                    read_field(input, header.colour_map_first, delivered) &&
                    read_field(input, header.colour_map_length, delivered) &&
                    read_field(input, header.colour_map_entry_size, delivered) &&
                    read_field(input, header.x_origin, delivered) &&
                    read_field(input, header.y_origin, delivered) &&
                    read_field(input, header.width, delivered) &&
                    read_field(input, header.height, delivered) &&
                    read_field(input, header.bits_per_pixel, delivered) &&
                    read_field(input, header.descriptor, delivered);
  if (!read) {
    print("Error: cannot read TGA file header (%lu)\n\n", input.error());
    return ExitCode::kReadFailure;
  }
  if (delivered != 18) {
    print("Error: cannot read TGA file header\n\n");
    return ExitCode::kReadFailure;
  }
  if (header.id_length != 0 && !input.skip(header.id_length)) {
    print("Error: cannot read TGA file header (%lu)\n\n", input.error());
    return ExitCode::kReadFailure;
  }
  if (verbose) {
    print("Bits per pixel: %u\n", unsigned{header.bits_per_pixel});
    print("TGA image type: %u\n", unsigned{header.image_type});
    print("TGA color map: %u\n", unsigned{header.colour_map_type});
    print("TGA descriptor byte: %u\n", unsigned{header.descriptor});
    print("Image width: %u\n", unsigned{header.width});
    print("Image height: %u\n", unsigned{header.height});
  }
  return kGoOn;
}

Ending tga_validate_header(const TgaHeader& header, const RunSettings& settings, bool* valid) {
  const char* const name = settings.input_name;
  if (header.bits_per_pixel == 1 && settings.colour_list_given) {
    print("\nInvalid 1bpp TGA input file color index value(s): %s\n\n",
          settings.argument(settings.tga_option));
    print_usage();
    return ExitCode::kCommandLine;
  }
  // Every check runs, so that one run reports every fault of the header.
  if (!is_supported_kind(header)) {
    print("Error: unsupported TGA file format.\n\n");
    *valid = false;
  }
  if (header.width < 1) {
    print("Error: the width of the graph has to be at least 1 instead of %d, or\n",
          int{header.width});
    print("%s is not a valid TGA file\n\n", name);
    *valid = false;
  }
  if (header.height < 1) {
    print("Error: the height of the graph has to be at least 1 instead of %d, or\n",
          int{header.height});
    print("%s is not a valid TGA file\n\n", name);
    *valid = false;
  }
  if (header.image_type > kLastUncompressedType) {
    print("Error: the TGA file is run-length encoded (RLE) to reduce its size, but CURVLOG\n");
    print("does not support RLE. Save the file without using the optional RLE.\n\n");
    *valid = false;
  }
  if (header.descriptor != kTopLeftOrigin) {
    report_header_fault("Error: the TGA descriptor byte has to be 32 (hex: 20) instead of %u, or\n",
                        header.descriptor, name);
    *valid = false;
  }
  if (header.colour_map_first != 0) {
    report_header_fault("Error: the colormap start has to be 0 instead of %u, or\n",
                        header.colour_map_first, name);
    *valid = false;
  }
  if (header.x_origin != 0) {
    report_header_fault("Error: the origin of the X-coordinate has to be 0 instead of %u, or\n",
                        header.x_origin, name);
    *valid = false;
  }
  if (header.y_origin != 0) {
    report_header_fault("Error: the origin of the Y-coordinate has to be 0 instead of %u, or\n",
                        header.y_origin, name);
    *valid = false;
  }
  if (header.colour_map_type == 1 && header.colour_map_length == 0) {
    print("Error: the image has indexed colors, but the length of the color index is 0. Or\n");
    print("%s is not a valid TGA file.\n\n", name);
    *valid = false;
  }
  if (settings.census_mode && header.bits_per_pixel != 8) {
    print("Error: to display used colors or greys the number of bits per pixel has to be 8\n");
    print("instead of %u, or %s is not a valid TGA file\n\n", unsigned{header.bits_per_pixel},
          name);
    *valid = false;
  }
  return kGoOn;
}

Ending tga_decode(platform::InputFile& input, const TgaHeader& header, RunSettings& settings,
                  DataBitmap& bitmap) {
  const std::int32_t width = header.width;
  const std::uint32_t stride = (std::uint32_t(width) + 7) / 8;
  if (Ending ending = allocate_data_bitmap(width, header.height, stride, bitmap)) return ending;
  const Ending ending = decode_pixels(input, header, settings, bitmap);
  // A decode that did not finish leaves no half-filled bitmap behind.
  if (ending) bitmap = DataBitmap{};
  return ending;
}

}  // namespace curvlog
