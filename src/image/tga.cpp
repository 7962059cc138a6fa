#include "image/tga.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/console.h"
#include "base/owners.h"
#include "image/census.h"
#include "image/classify.h"
#include "image/colour_census.h"
#include "image/colour_select.h"
#include "image/two_part_read.h"

namespace curvlog {
namespace {

constexpr std::uint8_t kColourMapped = 1;  // image type
constexpr std::uint8_t kGreyscale = 3;     // image type; 1-bit black&white files too
constexpr std::uint8_t kLastUncompressedType = 8;
constexpr std::uint8_t kTopLeftOrigin = 0x20;  // descriptor: origin bit set, no attribute bits

// One header field, read in one request of its own width; 16-bit fields are little-endian.
// Bytes that a short read did not deliver stay 0; the caller notices them by the sum.
template <typename Field>
bool read_field(InputFile& input, Field& field, long& delivered) {
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
// here: the command line refuses it first.
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

// The decode as the task of the pixel read: a span of file bytes may hold the end of one row
// and the start of the next. 8-bit pixels are classified into the zero-filled bitmap (the bits
// beyond the width stay 0), 1-bit rows (no classifier) stored inverted, so that a black pixel
// becomes a data pixel. For the overlay, 8-bit pixels also leave their grey in the plane. Two
// parts write different rows of the bitmap and of the plane.
struct DecodeTask {
  const Classifier* classifier;  // null for 1-bit rows
  DataBitmap* bitmap;
  std::uint32_t row_bytes;    // in the file: the width, or the stride of 1-bit rows
  const std::uint8_t* greys;  // of each 8-bit pixel value, for the plane
  std::uint8_t* grey_plane;   // null: no overlay, or 1-bit rows
};

std::uint32_t decode_span(void* context, std::uint64_t first, const std::uint8_t* data,
                          std::uint32_t count) {
  const DecodeTask& task = *static_cast<const DecodeTask*>(context);
  if (task.grey_plane != nullptr) {
    // 8-bit rows are the width long: the plane's index is the pixel's.
    std::uint8_t* const out = task.grey_plane + first;
    for (std::uint32_t i = 0; i < count; ++i) out[i] = task.greys[data[i]];
  }
  auto y = std::int32_t(first / task.row_bytes);
  auto x = std::uint32_t(first % task.row_bytes);
  for (std::uint32_t i = 0; i < count; ++y, x = 0) {
    const std::uint32_t piece = std::min(count - i, task.row_bytes - x);
    std::uint8_t* const row = task.bitmap->row(y);
    if (task.classifier == nullptr) {
      store_inverted(row + x, data + i, piece);
    } else if (!classify_span(*task.classifier, data + i, piece, row, x)) {
      return i;
    }
    i += piece;
  }
  return count;
}

// What the decode takes from the values' colours: the values that a list with colour items
// names, and the grey of each value for the plane (the luminance 0.299 red + 0.587 green +
// 0.114 blue, rounded, bit 0 clear; white for a value without a colour). A value's colour is
// its colour-map entry, or (g, g, g) for a grey level g. The colour map is read only when one
// of the two needs it, else skipped. Leaves the file at the first pixel.
Ending read_value_colours(InputFile& input, const TgaHeader& header,
                          const ReaderOptions& options, ColourTable& selected,
                          std::uint8_t (&greys)[256]) {
  const bool items = options.selected != nullptr && options.selected->item_count != 0;
  if (options.selected != nullptr) selected = options.selected->indices;
  CensusColour levels[256];
  for (unsigned g = 0; g < 256; ++g) {
    levels[g] = CensusColour{std::uint8_t(g), std::uint8_t(g), std::uint8_t(g)};
  }
  const CensusColour* colours = levels;
  unsigned entries = 256;
  CArray<CensusColour> map;
  if (header.colour_map_length != 0 && (items || options.grey_plane != nullptr)) {
    map = allocate_zeroed<CensusColour>(header.colour_map_length);
    if (!map) return report_colour_table_refused();
    if (Ending ending = tga_read_colour_map(input, header, options.input_name, map.get())) {
      return ending;
    }
    colours = map.get();
    entries = header.colour_map_length;
  } else if (header.colour_map_length != 0) {
    // At most 4 x 65535 bytes: no overflow.
    const std::uint32_t map_bytes =
        tga_colour_map_entry_bytes(header.colour_map_entry_size) * header.colour_map_length;
    if (!input.skip(map_bytes)) {
      if (cancel_requested()) return ExitCode::kSuccess;
      print("Error: cannot read TGA file header (%lu)\n\n", input.error());
      return ExitCode::kReadFailure;
    }
  }
  if (items) selected = listed_values(*options.selected, colours, entries);
  for (unsigned v = 0; v < 256; ++v) {
    greys[v] = plane_grey(v < entries ? colours[v] : CensusColour{255, 255, 255});
  }
  return kGoOn;
}

// Fills the allocated bitmap from the pixel data that follows the header and the image ID. A
// grey pixel anywhere in a span lies before anything the file may hold later, so its error
// wins over a later end of file or read failure, as it does pixel by pixel. Whatever follows
// the last row (a footer, say) is left unread.
Ending decode_pixels(InputFile& input, const TgaHeader& header,
                     const ReaderOptions& options, DataBitmap& bitmap) {
  const char* const name = options.input_name;
  const bool one_bit = header.bits_per_pixel == 1;
  ColourTable selected{};
  std::uint8_t greys[256] = {};
  if (!one_bit) {
    if (Ending ending = read_value_colours(input, header, options, selected, greys)) return ending;
  }
  const Classifier classifier =
      make_classifier(options.selected != nullptr ? &selected : nullptr, options.widest_step);
  const std::uint32_t row_bytes = one_bit ? bitmap.stride : std::uint32_t(bitmap.width);
  DecodeTask task{one_bit ? nullptr : &classifier, &bitmap, row_bytes, greys,
                  one_bit ? nullptr : options.grey_plane};
  // The 8-bit decode polls the cancel flag before each span it reads, the 1-bit one after.
  const PixelData data{
      tga_pixel_offset(header),
      std::uint64_t{row_bytes} * std::uint64_t(bitmap.height),
      row_bytes,
      one_bit ? CancelCheckpoint::kAfterEachRead : CancelCheckpoint::kBeforeEachRead,
      decode_span,
      {&task, &task}};
  int fault_part = -1;
  if (Ending ending = read_pixel_data(input, data, options.two_part_minimum, name, &fault_part)) {
    return ending;
  }
  if (fault_part >= 0) return report_grey_pixel(name);
  // A 1-bit picture is all in the bitmap: black and white.
  if (one_bit && options.grey_plane != nullptr) fill_grey_from_bitmap(bitmap, options.grey_plane);
  return kGoOn;
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

std::uint64_t tga_pixel_offset(const TgaHeader& header) {
  return 18 + std::uint64_t{header.id_length} +
         std::uint64_t{tga_colour_map_entry_bytes(header.colour_map_entry_size)} *
             header.colour_map_length;
}

Ending tga_read_header(InputFile& input, bool verbose, TgaHeader& header) {
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
  if ((!read || delivered != 18) && cancel_requested()) return ExitCode::kSuccess;
  if (!read) {
    print("Error: cannot read TGA file header (%lu)\n\n", input.error());
    return ExitCode::kReadFailure;
  }
  if (delivered != 18) {
    print("Error: cannot read TGA file header\n\n");
    return ExitCode::kReadFailure;
  }
  if (header.id_length != 0 && !input.skip(header.id_length)) {
    if (cancel_requested()) return ExitCode::kSuccess;
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

bool tga_validate_header(const TgaHeader& header, const ReaderOptions& options) {
  const char* const name = options.input_name;
  bool valid = true;
  // Every check runs, so that one run reports every fault of the header.
  if (!is_supported_kind(header)) {
    print("Error: unsupported TGA file format.\n\n");
    valid = false;
  }
  if (header.width < 1) {
    print("Error: the width of the graph has to be at least 1 instead of %d, or\n",
          int{header.width});
    print("%s is not a valid TGA file\n\n", name);
    valid = false;
  }
  if (header.height < 1) {
    print("Error: the height of the graph has to be at least 1 instead of %d, or\n",
          int{header.height});
    print("%s is not a valid TGA file\n\n", name);
    valid = false;
  }
  if (header.image_type > kLastUncompressedType) {
    print("Error: the TGA file is run-length encoded (RLE) to reduce its size, but CURVLOG\n");
    print("does not support RLE. Save the file without using the optional RLE.\n\n");
    valid = false;
  }
  if (header.descriptor != kTopLeftOrigin) {
    report_header_fault("Error: the TGA descriptor byte has to be 32 (hex: 20) instead of %u, or\n",
                        header.descriptor, name);
    valid = false;
  }
  if (header.colour_map_first != 0) {
    report_header_fault("Error: the colormap start has to be 0 instead of %u, or\n",
                        header.colour_map_first, name);
    valid = false;
  }
  if (header.x_origin != 0) {
    report_header_fault("Error: the origin of the X-coordinate has to be 0 instead of %u, or\n",
                        header.x_origin, name);
    valid = false;
  }
  if (header.y_origin != 0) {
    report_header_fault("Error: the origin of the Y-coordinate has to be 0 instead of %u, or\n",
                        header.y_origin, name);
    valid = false;
  }
  if (header.colour_map_type == 1 && header.colour_map_length == 0) {
    print("Error: the image has indexed colors, but the length of the color index is 0. Or\n");
    print("%s is not a valid TGA file.\n\n", name);
    valid = false;
  }
  if (options.census && header.bits_per_pixel != 8) {
    print("Error: to display used colors or greys the number of bits per pixel has to be 8\n");
    print("instead of %u, or %s is not a valid TGA file\n\n", unsigned{header.bits_per_pixel},
          name);
    valid = false;
  }
  return valid;
}

Ending tga_decode(InputFile& input, const TgaHeader& header, const ReaderOptions& options,
                  DataBitmap& bitmap) {
  const std::int32_t width = header.width;
  const std::uint32_t stride = (std::uint32_t(width) + 7) / 8;
  if (Ending ending = allocate_data_bitmap(width, header.height, stride, bitmap)) return ending;
  const Ending ending = decode_pixels(input, header, options, bitmap);
  // A decode that did not finish leaves no half-filled bitmap behind.
  if (ending) bitmap = DataBitmap{};
  return ending;
}

}  // namespace curvlog
