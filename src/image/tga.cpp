#include "image/tga.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/cancel.h"
#include "base/console.h"
#include "image/classify.h"
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

// The decode as a task of the two-part read: a span of file bytes may hold the end of one row
// and the start of the next. 8-bit pixels are classified, 1-bit rows (no classifier) stored
// inverted. The two parts write different rows of the bitmap.
struct DecodeTask {
  const Classifier* classifier;  // null for 1-bit rows
  DataBitmap* bitmap;
  std::uint32_t row_bytes;  // in the file: the width, or the stride of 1-bit rows
};

std::uint32_t decode_task_span(void* context, std::uint64_t first, const std::uint8_t* data,
                               std::uint32_t count) {
  const DecodeTask& task = *static_cast<const DecodeTask*>(context);
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

// Decodes the pixels in two parts at once; a null classifier takes 1-bit rows. False when that
// cannot be had: the caller decodes front to back.
bool decode_in_two_parts(const InputFile& input, const TgaHeader& header,
                         const Classifier* classifier, std::uint64_t minimum, DataBitmap& bitmap,
                         TwoPartOutcome* outcome) {
  const std::uint32_t row_bytes =
      classifier != nullptr ? std::uint32_t(bitmap.width) : bitmap.stride;
  DecodeTask task{classifier, &bitmap, row_bytes};
  void* const contexts[2] = {&task, &task};
  const std::uint64_t bytes = std::uint64_t{row_bytes} * std::uint64_t(bitmap.height);
  // Where each front-to-back decode below polls the cancel flag.
  const CancelCheckpoint checkpoint =
      classifier != nullptr ? CancelCheckpoint::kBeforeEachRead : CancelCheckpoint::kAfterEachRead;
  return read_in_two_parts(input, tga_pixel_offset(header), bytes, row_bytes, minimum, checkpoint,
                           decode_task_span, contexts, outcome);
}

// 1-bit rows are stored as they come, inverted (a black pixel becomes a data pixel), taking a
// buffered span at a time. The cancel checkpoint follows each span's arrival.
Ending decode_one_bit_rows(InputFile& input, const char* input_name, DataBitmap& bitmap) {
  const std::uint32_t stride = bitmap.stride;
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    for (std::uint32_t k = 0; k < stride;) {
      const std::uint8_t* data = nullptr;
      std::uint32_t span = 0;
      if (Ending ending = next_row_bytes(input, input_name, stride - k, &data, &span)) {
        return ending;
      }
      store_inverted(bitmap.row(y) + k, data, span);
      input.consume(span);
      k += span;
    }
  }
  return kGoOn;
}

// Classifies the pixels into the zero-filled bitmap, taking them from the input's buffer a
// span at a time (at most a row's remainder). The bits beyond the width stay 0. A grey pixel
// anywhere in a span lies before anything the file may hold later, so its error wins over a
// later end of file or read failure, as it does pixel by pixel. The cancel checkpoint comes
// before each span: at most one buffer block (64 KiB) of work, microseconds, between two.
Ending decode_pixel_rows(InputFile& input, const char* input_name, const Classifier& c,
                         DataBitmap& bitmap) {
  const std::uint32_t width = std::uint32_t(bitmap.width);
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    for (std::uint32_t x = 0; x < width;) {
      if (cancel_requested()) return ExitCode::kSuccess;
      const std::uint8_t* data = nullptr;
      const long available = input.view(&data);
      if (available <= 0) return report_view_failure(input, available, input_name);
      const std::uint32_t count =
          std::uint32_t(std::min<unsigned long>(static_cast<unsigned long>(available), width - x));
      if (!classify_span(c, data, count, bitmap.row(y), x)) return report_grey_pixel(input_name);
      input.consume(count);
      x += count;
    }
  }
  // Whatever follows the last row (a footer, say) is left unread.
  return kGoOn;
}

// Fills the allocated bitmap from the pixel data that follows the header and the image ID.
Ending decode_pixels(InputFile& input, const TgaHeader& header, const ReaderOptions& options,
                     DataBitmap& bitmap) {
  const char* const name = options.input_name;
  TwoPartOutcome outcome;
  if (header.bits_per_pixel == 1) {
    if (!decode_in_two_parts(input, header, nullptr, options.two_part_minimum, bitmap, &outcome)) {
      return decode_one_bit_rows(input, name, bitmap);
    }
    return end_of_two_part_read(outcome, name);  // 1-bit rows have no faults
  }
  if (header.colour_map_length != 0) {
    // At most 4 x 65535 bytes: no overflow.
    const std::uint32_t map_bytes =
        tga_colour_map_entry_bytes(header.colour_map_entry_size) * header.colour_map_length;
    if (!input.skip(map_bytes)) {
      if (cancel_requested()) return ExitCode::kSuccess;
      print("Error: cannot read TGA file header (%lu)\n\n", input.error());
      return ExitCode::kReadFailure;
    }
  }
  const Classifier classifier = make_classifier(options.selected, options.widest_step);
  if (!decode_in_two_parts(input, header, &classifier, options.two_part_minimum, bitmap,
                           &outcome)) {
    return decode_pixel_rows(input, name, classifier, bitmap);
  }
  if (outcome.end == TwoPartOutcome::End::kContentFault) return report_grey_pixel(name);
  return end_of_two_part_read(outcome, name);
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
