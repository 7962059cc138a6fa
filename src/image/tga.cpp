#include "image/tga.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// x86-64 builds by GCC or Clang also carry 256-bit classification, chosen when the processor
// has it. Not for Windows: there GCC cannot align the stack for spilled 256-bit registers.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define CURVLOG_CLASSIFY_AVX2 1
#include <immintrin.h>
#endif

#include "app/cancel.h"
#include "app/console.h"
#include "image/column_tally.h"
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

// How the 8-bit pixels are classified: the class of every value for pixels taken one at a
// time, and for runs of whole bitmap bytes either the black&white test or, for a colour list
// of few values (or of all but a few), comparisons with those values.
struct Classifier {
  std::uint8_t classes[256];
  bool black_white = false;
  ClassifyWidth width = ClassifyWidth::kWord;  // the widest step that serves whole bytes
  bool compare_unselected = false;             // the values compared are those outside the list
  unsigned compare_count = 0;                  // 0: the table serves the runs too
  std::uint8_t compare_values[8] = {};
};

ClassifyWidth widest_for_testing = ClassifyWidth::k256;

Classifier make_classifier(const RunSettings& settings) {
  Classifier c;
#if defined(__SSE2__)
  c.width = ClassifyWidth::k128;
#endif
#if defined(CURVLOG_CLASSIFY_AVX2)
  if (__builtin_cpu_supports("avx2")) c.width = ClassifyWidth::k256;
#endif
  c.width = std::min(c.width, widest_for_testing);
  c.black_white = !settings.colour_list_given;
  unsigned selected = 0;
  for (unsigned v = 0; v < 256; ++v) {
    if (c.black_white) {
      c.classes[v] = v == 0 ? kData : v == 255 ? kBackground : kGreyPixel;
    } else {
      c.classes[v] = settings.selected_colours[v] ? kData : kBackground;
      selected += c.classes[v];
    }
  }
  if (c.black_white) return c;
  c.compare_unselected = selected > 128;
  const std::uint8_t wanted = c.compare_unselected ? kBackground : kData;
  const unsigned count = c.compare_unselected ? 256 - selected : selected;
  if (count > sizeof c.compare_values) return c;
  for (unsigned v = 0; v < 256; ++v) {
    if (c.classes[v] == wanted) c.compare_values[c.compare_count++] = std::uint8_t(v);
  }
  return c;
}

#if defined(__SSE2__)
// Sixteen pixels whose data lanes are 0xFF become two bitmap bytes: each lane keeps the weight
// of its place (0x80 for the first of eight pixels), and the sum of absolute differences
// against zero adds the eight weights of each half into the low byte of its 64-bit lane.
__m128i pack_lanes(__m128i data, bool data_set) {
  const __m128i weights = _mm_set1_epi64x(0x0102040810204080);
  const __m128i bits = data_set ? _mm_and_si128(data, weights) : _mm_andnot_si128(data, weights);
  return _mm_sad_epu8(bits, _mm_setzero_si128());
}

// Stores the eight bitmap bytes of four packed groups of sixteen pixels, in pixel order.
void store_packed(__m128i s0, __m128i s1, __m128i s2, __m128i s3, std::uint8_t* out) {
  const __m128i t = _mm_or_si128(_mm_or_si128(s0, _mm_slli_epi64(s1, 8)),
                                 _mm_or_si128(_mm_slli_epi64(s2, 16), _mm_slli_epi64(s3, 24)));
  // The low lane holds bytes 0, 2, 4, 6 and the high lane bytes 1, 3, 5, 7.
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(t, _mm_srli_si128(t, 8)));
}

// Black&white: a pixel is 0 or 255 exactly when it equals its own sign spread over the byte,
// and its bit is the inverse of that sign. Grey pixels are collected in bad.
std::size_t classify_black_white(const std::uint8_t* in, std::size_t groups, std::uint8_t* out,
                                 bool* grey) {
  const __m128i zero = _mm_setzero_si128();
  __m128i bad = zero;
  std::size_t g = 0;
  for (; g + 8 <= groups; g += 8) {
    __m128i sums[4];
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + g * 8 + q * 16));
      const __m128i sign = _mm_cmpgt_epi8(zero, v);
      bad = _mm_or_si128(bad, _mm_xor_si128(v, sign));
      sums[q] = pack_lanes(sign, false);
    }
    store_packed(sums[0], sums[1], sums[2], sums[3], out + g);
  }
  *grey = _mm_movemask_epi8(_mm_cmpeq_epi8(bad, zero)) != 0xFFFF;
  return g;
}

// A short colour list: every pixel is compared with each listed (or each unlisted) value.
std::size_t classify_by_comparison(const Classifier& c, const std::uint8_t* in, std::size_t groups,
                                   std::uint8_t* out) {
  __m128i values[sizeof c.compare_values];
  for (unsigned k = 0; k < c.compare_count; ++k) {
    values[k] = _mm_set1_epi8(static_cast<char>(c.compare_values[k]));
  }
  std::size_t g = 0;
  for (; g + 8 <= groups; g += 8) {
    __m128i sums[4];
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + g * 8 + q * 16));
      __m128i match = _mm_cmpeq_epi8(v, values[0]);
      for (unsigned k = 1; k < c.compare_count; ++k) {
        match = _mm_or_si128(match, _mm_cmpeq_epi8(v, values[k]));
      }
      sums[q] = pack_lanes(match, !c.compare_unselected);
    }
    store_packed(sums[0], sums[1], sums[2], sums[3], out + g);
  }
  return g;
}
#endif

#if defined(CURVLOG_CLASSIFY_AVX2)
// With the eight pixels of each group in reverse order, the mask of the bytes' top bits (or of
// a comparison's result) holds the bitmap bytes as they are stored, the first pixel of each in
// the most significant bit.
__attribute__((target("avx2"))) __m256i load_reversed(const std::uint8_t* in) {
  const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,  //
                                           7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), reverse);
}

void store_mask(std::uint32_t bits, std::uint8_t* out) {
  std::memcpy(out, &bits, sizeof bits);  // little-endian: the first byte first
}

// Black&white: the top bit of 0 and 255 marks the background; adding 1 takes 0 and 255 to 1
// and 0 and every grey level above 1, so the largest sum shows whether there was one.
__attribute__((target("avx2"))) std::size_t classify_black_white_avx2(const std::uint8_t* in,
                                                                      std::size_t groups,
                                                                      std::uint8_t* out,
                                                                      bool* grey) {
  const __m256i one = _mm256_set1_epi8(1);
  __m256i largest = _mm256_setzero_si256();
  std::size_t g = 0;
  for (; g + 4 <= groups; g += 4) {
    const __m256i v = load_reversed(in + g * 8);
    largest = _mm256_max_epu8(largest, _mm256_add_epi8(v, one));
    store_mask(~std::uint32_t(_mm256_movemask_epi8(v)), out + g);
  }
  const __m256i within = _mm256_cmpeq_epi8(_mm256_max_epu8(largest, one), one);
  *grey = std::uint32_t(_mm256_movemask_epi8(within)) != 0xFFFFFFFF;
  return g;
}

__attribute__((target("avx2"))) std::size_t classify_by_comparison_avx2(const Classifier& c,
                                                                        const std::uint8_t* in,
                                                                        std::size_t groups,
                                                                        std::uint8_t* out) {
  __m256i values[sizeof c.compare_values];
  for (unsigned k = 0; k < c.compare_count; ++k) {
    values[k] = _mm256_set1_epi8(static_cast<char>(c.compare_values[k]));
  }
  const std::uint32_t flip = c.compare_unselected ? 0xFFFFFFFF : 0;
  std::size_t g = 0;
  for (; g + 4 <= groups; g += 4) {
    const __m256i v = load_reversed(in + g * 8);
    __m256i match = _mm256_cmpeq_epi8(v, values[0]);
    for (unsigned k = 1; k < c.compare_count; ++k) {
      match = _mm256_or_si256(match, _mm256_cmpeq_epi8(v, values[k]));
    }
    store_mask(std::uint32_t(_mm256_movemask_epi8(match)) ^ flip, out + g);
  }
  return g;
}
#endif

// Classifies groups of eight pixels into whole bitmap bytes, the first pixel in the most
// significant bit. False when a grey pixel turned up in black&white input (the bytes stored
// then are of no use).
bool classify_groups(const Classifier& c, const std::uint8_t* in, std::size_t groups,
                     std::uint8_t* out) {
  // The vector paths take what they can in whole steps and leave the rest to the loop below.
  std::size_t g = 0;
  bool grey = false;
#if defined(CURVLOG_CLASSIFY_AVX2)
  if (c.width == ClassifyWidth::k256) {
    if (c.black_white) g = classify_black_white_avx2(in, groups, out, &grey);
    if (c.compare_count != 0) g = classify_by_comparison_avx2(c, in, groups, out);
  }
#endif
#if defined(__SSE2__)
  if (c.width == ClassifyWidth::k128) {
    if (c.black_white) g = classify_black_white(in, groups, out, &grey);
    if (c.compare_count != 0) g = classify_by_comparison(c, in, groups, out);
  }
#endif
  if (grey) return false;
  for (; g < groups; ++g) {
    const std::uint8_t* const p = in + g * 8;
    if (c.black_white && std::endian::native == std::endian::little) {
      // Eight pixels in one word: each byte must equal its top bit spread over the byte; the
      // multiplication gathers the eight top bits, the first pixel's into bit 63.
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const std::uint64_t tops = word >> 7 & 0x0101010101010101;
      if (word != tops * 0xFF) return false;
      out[g] = static_cast<std::uint8_t>(~((tops * 0x8040201008040201) >> 56));
      continue;
    }
    unsigned bits = 0, seen = 0;
    for (int i = 0; i < 8; ++i) {
      const unsigned value_class = c.classes[p[i]];
      seen |= value_class;
      bits = bits << 1 | (value_class & kData);
    }
    if (seen & kGreyPixel) return false;
    out[g] = static_cast<std::uint8_t>(bits);
  }
  return true;
}

// One pixel at column x of a row that starts zero-filled. False for a grey pixel.
bool classify_one(const Classifier& c, std::uint8_t value, std::uint8_t* row, std::uint32_t x) {
  const unsigned bit = c.classes[value];
  if (bit == kGreyPixel) return false;
  row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | bit << (7 - x % 8));
  return true;
}

// count pixels from column x of a zero-filled row on: one at a time up to a byte boundary,
// then in whole bytes, then the rest one at a time. False for a grey pixel.
bool classify_span(const Classifier& c, const std::uint8_t* in, std::uint32_t count,
                   std::uint8_t* row, std::uint32_t x) {
  std::uint32_t i = 0;
  for (; i < count && (x + i) % 8 != 0; ++i) {
    if (!classify_one(c, in[i], row, x + i)) return false;
  }
  const std::uint32_t groups = (count - i) / 8;
  if (!classify_groups(c, in + i, groups, row + (x + i) / 8)) return false;
  for (i += groups * 8; i < count; ++i) {
    if (!classify_one(c, in[i], row, x + i)) return false;
  }
  return true;
}

ExitCode report_grey_pixel(const char* input_name) {
  print("Error: no color index value specified, or grey pixel found in black&white\n");
  print("file %s\n\n", input_name);
  return ExitCode::kInvalidContent;
}

// The decode as a task of the two-part read: a span of file bytes may hold the end of one row
// and the start of the next. 8-bit pixels are classified, 1-bit rows (no classifier) stored
// inverted, as the byte-row decoder's raw mode does. The two parts write different rows of the
// bitmap, and each adds its finished rows to column sums of its own.
struct DecodeTask {
  const Classifier* classifier;  // null for 1-bit rows
  DataBitmap* bitmap;
  std::uint32_t row_bytes;  // in the file: the width, or the stride of 1-bit rows
  ColumnSums* sums;
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
    if (x + piece == task.row_bytes) task.sums->add(row, y);
  }
  return count;
}

// Decodes the pixels in two parts at once, each part summing its columns as it goes; a null
// classifier takes 1-bit rows. False when that cannot be had: the caller decodes front to back.
bool decode_in_two_parts(const platform::InputFile& input, const TgaHeader& header,
                         const Classifier* classifier, DataBitmap& bitmap,
                         TwoPartOutcome* outcome) {
  ColumnSums sums[2] = {ColumnSums(bitmap), ColumnSums(bitmap)};
  if (!sums[0].ready() || !sums[1].ready()) return false;
  const std::uint32_t row_bytes =
      classifier != nullptr ? std::uint32_t(bitmap.width) : bitmap.stride;
  DecodeTask tasks[2] = {{classifier, &bitmap, row_bytes, &sums[0]},
                         {classifier, &bitmap, row_bytes, &sums[1]}};
  void* const contexts[2] = {&tasks[0], &tasks[1]};
  const std::uint64_t bytes = std::uint64_t{row_bytes} * std::uint64_t(bitmap.height);
  const CancelCheckpoint checkpoint =
      classifier != nullptr ? CancelCheckpoint::kBeforeEachRead : CancelCheckpoint::kAfterEachRead;
  if (!read_in_two_parts(input, tga_pixel_offset(header), bytes, row_bytes, checkpoint,
                         decode_task_span, contexts, outcome)) {
    return false;
  }
  if (outcome->end == TwoPartOutcome::End::kDone) {
    sums[0].join_lower(sums[1]);
    sums[0].hand_over(bitmap);
  }
  return true;
}

// Classifies the pixels into the zero-filled bitmap, taking them from the input's buffer a
// span at a time (at most a row's remainder). The bits beyond the width stay 0. A grey pixel
// anywhere in a span lies before anything the file may hold later, so its error wins over a
// later end of file or read failure, as it does pixel by pixel. The cancel checkpoint comes
// before each span: at most one buffer block (64 KiB) of work, microseconds, between two.
// Each finished row is added to the column sums.
Ending decode_pixel_rows(platform::InputFile& input, const char* input_name, const Classifier& c,
                         DataBitmap& bitmap) {
  const std::uint32_t width = std::uint32_t(bitmap.width);
  ColumnSums sums(bitmap);
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    std::uint8_t* const row = bitmap.row(y);
    std::uint32_t x = 0;
    while (x < width) {
      if (cancel_requested()) return ExitCode::kSuccess;
      const std::uint8_t* data = nullptr;
      const long available = input.view(&data);
      if (available <= 0) {
        const int result =
            available < 0 ? platform::InputFile::kReadError : platform::InputFile::kEndOfFile;
        return report_pixel_read_failure(input, result, input_name);
      }
      const std::uint32_t count =
          std::uint32_t(std::min<unsigned long>(static_cast<unsigned long>(available), width - x));
      if (!classify_span(c, data, count, row, x)) return report_grey_pixel(input_name);
      input.consume(count);
      x += count;
    }
    sums.add(row, y);
  }
  sums.hand_over(bitmap);
  // Whatever follows the last row (a footer, say) is left unread.
  return kGoOn;
}

// Fills the allocated bitmap from the pixel data that follows the header and the image ID.
Ending decode_pixels(platform::InputFile& input, const TgaHeader& header, RunSettings& settings,
                     DataBitmap& bitmap) {
  TwoPartOutcome outcome;
  if (header.bits_per_pixel == 1) {
    // 1-bit rows are the PCX rows without run-length codes.
    settings.pcx_input = true;
    if (!decode_in_two_parts(input, header, nullptr, bitmap, &outcome)) {
      return decode_byte_rows(input, settings.input_name, RowMode::kRaw, bitmap);
    }
    return end_of_two_part_read(outcome, settings.input_name);  // 1-bit rows have no faults
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
  const Classifier classifier = make_classifier(settings);
  if (!decode_in_two_parts(input, header, &classifier, bitmap, &outcome)) {
    return decode_pixel_rows(input, settings.input_name, classifier, bitmap);
  }
  if (outcome.end == TwoPartOutcome::End::kContentFault)
    return report_grey_pixel(settings.input_name);
  return end_of_two_part_read(outcome, settings.input_name);
}

}  // namespace

void limit_classify_width_for_testing(ClassifyWidth widest) {
  widest_for_testing = widest;
}

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

Ending end_of_two_part_read(const TwoPartOutcome& outcome, const char* input_name) {
  switch (outcome.end) {
    case TwoPartOutcome::End::kDone:
    case TwoPartOutcome::End::kContentFault:  // reported by the caller, who knows what it was
      return kGoOn;
    case TwoPartOutcome::End::kCancelled:
      return ExitCode::kSuccess;
    case TwoPartOutcome::End::kEndOfFile:
      return report_pixel_read_failure(0, platform::InputFile::kEndOfFile, input_name);
    case TwoPartOutcome::End::kReadError:
      break;
  }
  return report_pixel_read_failure(outcome.error, platform::InputFile::kReadError, input_name);
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
