#include "image/png.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/cancel.h"
#include "base/console.h"
#include "base/owners.h"
#include "image/census.h"
#include "image/classify.h"
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

ExitCode report_out_of_memory() {
  print("Error: unable to allocate memory to decode the PNG file\n\n");
  return ExitCode::kOutOfMemory;
}

ExitCode report_damage(const char* input_name, const char* what) {
  print("\nError: the PNG file %s is damaged:\n%s\n\n", input_name, what);
  return ExitCode::kInvalidContent;
}

ExitCode report_decoder_failure(DecodeStatus status, const platform::PngDecoder& decoder,
                                const char* input_name) {
  switch (status) {
    case DecodeStatus::kOk:  // not a failure; never asked
    case DecodeStatus::kEndOfFile:
      return report_pixel_read_failure(0, InputFile::kEndOfFile, input_name);
    case DecodeStatus::kReadError:
      return report_pixel_read_failure(decoder.error(), InputFile::kReadError, input_name);
    case DecodeStatus::kBadCrc:
      return report_damage(input_name, "a chunk has a bad CRC");
    case DecodeStatus::kBadChunk:
      return report_damage(input_name, "a critical chunk is missing, misplaced or malformed");
    case DecodeStatus::kBadImageData:
      return report_damage(input_name, "its compressed image data is broken");
    case DecodeStatus::kOutOfMemory:
      return report_out_of_memory();
    case DecodeStatus::kUnsupported:
      print("\nError: the PNG file %s is of a kind that this system's decoder cannot\n",
            input_name);
      print("deliver exactly. Save the graph as a PNG file with a palette.\n\n");
      return ExitCode::kInvalidContent;
  }
  return ExitCode::kInvalidContent;
}

ExitCode report_too_many_colours(const char* input_name) {
  print("\nError: the PNG file %s has more than 256 colors.\n", input_name);
  print("Save the graph without anti-aliasing, or reduce it to a palette of a few\n");
  print("colors without dithering.\n\n");
  return ExitCode::kInvalidContent;
}

// ---- Colours ---------------------------------------------------------------------------------

// A sample c with alpha a laid over white, rounded to the nearest level of its depth.
unsigned over_white(unsigned c, unsigned a, unsigned full) {
  return unsigned((std::uint64_t{c} * a + std::uint64_t{full} * (full - a) + full / 2) / full);
}

std::uint32_t rgb(unsigned red, unsigned green, unsigned blue) {
  return std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
}

CensusColour census_colour(std::uint32_t colour) {
  return CensusColour{std::uint8_t(colour >> 16), std::uint8_t(colour >> 8), std::uint8_t(colour)};
}

// A palette entry over white.
std::uint32_t palette_colour(const platform::DecodedPixels& pixels, unsigned index) {
  const std::uint8_t* const entry = pixels.palette[index];
  return rgb(over_white(entry[0], entry[3], 255), over_white(entry[1], entry[3], 255),
             over_white(entry[2], entry[3], 255));
}

// The colours of a row's pixels (not palette indices) over white, 8 bits a channel: 16-bit
// samples keep their high byte once laid over white.
void row_colours(const platform::DecodedPixels& pixels, const std::uint8_t* samples,
                 std::uint32_t count, std::uint32_t* colours) {
  const unsigned channels = pixels.channels;
  const bool wide = pixels.bits == 16;
  const unsigned full = wide ? 65535 : 255;
  const unsigned shift = wide ? 8 : 0;
  const bool grey = channels <= 2;
  const bool alpha = channels == 2 || channels == 4;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* const p = samples + std::size_t{i} * channels * (wide ? 2 : 1);
    auto sample = [&](unsigned k) { return wide ? unsigned(p[2 * k]) << 8 | p[2 * k + 1] : p[k]; };
    unsigned channel[3] = {sample(0), grey ? sample(0) : sample(1), grey ? sample(0) : sample(2)};
    const unsigned a = alpha ? sample(channels - 1) : full;
    for (unsigned& c : channel) c = over_white(c, a, full) >> shift;
    colours[i] = rgb(channel[0], channel[1], channel[2]);
  }
}

// The distinct colours of a true-colour image, at most 256, with their pixel counts: an open
// hash table of 24-bit colours, at most a quarter full.
class ColourSet {
 public:
  // Counts pixels of a colour; false when that colour would be the 257th.
  bool add(std::uint32_t colour, std::uint32_t pixels) {
    const unsigned slot = slot_of(colour);
    if (keys_[slot] == 0) {
      if (size_ == 256) return false;
      keys_[slot] = colour + 1;
      ++size_;
    }
    counts_[slot] += pixels;
    return true;
  }

  // Numbers the colours in ascending order, filling colours and counts by number. Returns
  // their number.
  unsigned number(CensusColour* colours, std::uint32_t* counts) {
    std::uint32_t sorted[256];
    unsigned n = 0;
    for (const std::uint32_t key : keys_) {
      if (key != 0) sorted[n++] = key - 1;
    }
    std::sort(sorted, sorted + n);
    for (unsigned i = 0; i < n; ++i) {
      const unsigned slot = slot_of(sorted[i]);
      index_[slot] = std::uint8_t(i);
      colours[i] = census_colour(sorted[i]);
      counts[i] = counts_[slot];
    }
    return n;
  }

  // A numbered colour's number; the colour must be in the set.
  std::uint8_t index_of(std::uint32_t colour) const { return index_[slot_of(colour)]; }

 private:
  static constexpr unsigned kSlots = 1024;

  unsigned slot_of(std::uint32_t colour) const {
    unsigned slot = (colour * 2654435761u) >> 22;
    while (keys_[slot] != 0 && keys_[slot] != colour + 1) slot = (slot + 1) % kSlots;
    return slot;
  }

  std::uint32_t keys_[kSlots] = {};  // colour + 1, 0 for a free slot
  std::uint32_t counts_[kSlots] = {};
  std::uint8_t index_[kSlots] = {};
  unsigned size_ = 0;
};

// ---- The image as 8-bit codes ------------------------------------------------------------------

// Each pixel of a row becomes a code: the decoder's own byte for grey levels and palette indices
// of up to 8 bits, or else a grey level or a colour-table index worked out from its colour.
// A code stands for an 8-bit value (what the census lists and a colour list names), and the
// value for a colour.
struct PngImage {
  const char* input_name = "";
  std::uint8_t colour_type = 0;
  std::uint32_t width = 0;
  platform::PngDecoder decoder;
  CArray<std::uint8_t> samples;   // one row as the decoder delivers it
  CArray<std::uint32_t> colours;  // and its colours, when its bytes are not the codes
  CArray<std::uint8_t> codes;     // and its codes then
  bool samples_are_codes = false;
  bool codes_are_values = true;
  unsigned code_entries = 256;  // codes from here on have no colour (beyond a short palette)
  unsigned value_entries = 256;
  std::uint8_t value_of[256] = {};
  CensusColour colour_of[256] = {};
  ColourSet table;  // a true-colour image's colours
};

bool is_true_colour(const PngImage& image) {
  return image.colour_type == kTrueColour || image.colour_type == kTrueColourAlpha;
}

// Starts the decoder and decides how rows become codes.
Ending start_image(InputFile& input, const PngHeader& header, PngImage& image) {
  const DecodeStatus status =
      image.decoder.start(byte_source(input), image.input_name, header.bytes, sizeof header.bytes);
  if (status != DecodeStatus::kOk) {
    return report_decoder_failure(status, image.decoder, image.input_name);
  }
  const platform::DecodedPixels& pixels = image.decoder.pixels();
  const bool palette = header.colour_type == kPalette;
  const bool grey = header.colour_type == kGreyscale || header.colour_type == kGreyAlpha;
  // A palette image comes as indices; a grey one may come so too, into a palette of greys.
  if (pixels.indexed != palette && !(pixels.indexed && grey)) {
    return report_decoder_failure(DecodeStatus::kUnsupported, image.decoder, image.input_name);
  }
  for (unsigned v = 0; v < 256; ++v) {
    image.value_of[v] = std::uint8_t(v);
    image.colour_of[v] = CensusColour{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)};
  }
  if (pixels.indexed) {
    image.samples_are_codes = true;
    image.codes_are_values = palette;
    image.code_entries = pixels.palette_size;
    if (palette) image.value_entries = pixels.palette_size;
    for (unsigned i = 0; i < pixels.palette_size; ++i) {
      const std::uint32_t colour = palette_colour(pixels, i);
      if (palette) {
        image.colour_of[i] = census_colour(colour);
      } else {
        image.value_of[i] = std::uint8_t(colour);  // a grey's blue is its level
      }
    }
  } else if (grey && pixels.channels == 1 && pixels.bits <= 8) {
    // Levels of fewer bits spread over 0-255: a 2-bit level times 85.
    image.samples_are_codes = true;
    image.codes_are_values = pixels.bits == 8;
    const unsigned levels = 1u << pixels.bits;
    for (unsigned code = 0; code < levels; ++code) {
      image.value_of[code] = std::uint8_t(code * 255 / (levels - 1));
    }
  }
  image.samples = allocate_zeroed<std::uint8_t>(image.decoder.row_bytes());
  if (!image.samples_are_codes) {
    image.colours = allocate_zeroed<std::uint32_t>(image.width);
    image.codes = allocate_zeroed<std::uint8_t>(image.width);
  }
  if (!image.samples || (!image.samples_are_codes && (!image.colours || !image.codes))) {
    return report_out_of_memory();
  }
  return kGoOn;
}

// The codes of the row in samples. A true-colour image's table must be numbered.
const std::uint8_t* row_codes(PngImage& image, std::uint32_t count) {
  if (image.samples_are_codes) return image.samples.get();
  row_colours(image.decoder.pixels(), image.samples.get(), count, image.colours.get());
  const std::uint32_t* const colours = image.colours.get();
  std::uint8_t* const codes = image.codes.get();
  if (!is_true_colour(image)) {
    for (std::uint32_t i = 0; i < count; ++i) codes[i] = std::uint8_t(colours[i]);
    return codes;
  }
  // Neighbours mostly share their colour: one look-up per run.
  std::uint32_t last = colours[0];
  std::uint8_t index = image.table.index_of(last);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (colours[i] != last) index = image.table.index_of(last = colours[i]);
    codes[i] = index;
  }
  return codes;
}

// Reads every row, handing each to take(image, place), then the rest of the file. The cancel
// checkpoint comes before each row.
template <typename Take>
Ending read_rows(PngImage& image, Take take) {
  const std::uint32_t rows = image.decoder.rows();
  for (std::uint32_t r = 0; r < rows; ++r) {
    if (cancel_requested()) return ExitCode::kSuccess;
    platform::RowPlace place;
    const DecodeStatus status = image.decoder.next_row(image.samples.get(), &place);
    if (status != DecodeStatus::kOk) {
      return report_decoder_failure(status, image.decoder, image.input_name);
    }
    if (Ending ending = take(image, place)) return ending;
  }
  const DecodeStatus status = image.decoder.finish();
  if (status != DecodeStatus::kOk) {
    return report_decoder_failure(status, image.decoder, image.input_name);
  }
  return kGoOn;
}

// The first pass over a true-colour image: its colours into the table, with their counts.
Ending collect_colours(PngImage& image) {
  return read_rows(image, [](PngImage& im, const platform::RowPlace& place) -> Ending {
    const std::uint32_t* const colours = im.colours.get();
    row_colours(im.decoder.pixels(), im.samples.get(), place.count, im.colours.get());
    for (std::uint32_t i = 0, run = 1; i < place.count; i += run) {
      for (run = 1; i + run < place.count && colours[i + run] == colours[i];) ++run;
      if (!im.table.add(colours[i], run)) return report_too_many_colours(im.input_name);
    }
    return kGoOn;
  });
}

// Numbers the table's colours, which become the values; their counts fill histogram.
void number_colours(PngImage& image, Histogram& histogram) {
  image.code_entries = image.value_entries = image.table.number(image.colour_of, histogram.counts);
}

Ending run_census(PngImage& image, const ReaderOptions& options) {
  Histogram histogram{};
  if (is_true_colour(image)) {
    if (Ending ending = collect_colours(image)) return ending;
    number_colours(image, histogram);
  } else {
    Histogram codes{};
    Ending ending = read_rows(image, [&codes](PngImage& im, const platform::RowPlace& place) {
      const std::uint8_t* const row = row_codes(im, place.count);
      const std::uint32_t counted = count_pixel_span(row, place.count, im.code_entries, codes);
      if (counted == place.count) return kGoOn;
      return Ending{report_outside_map(row[counted], im.code_entries, im.input_name)};
    });
    if (ending) return ending;
    for (unsigned code = 0; code < 256; ++code) {
      histogram.counts[image.value_of[code]] += codes.counts[code];
    }
  }
  return list_census(histogram, image.colour_of, image.value_entries, options);
}

// How codes classify: by the colour list, through the codes' values; or, without one, by their
// colours: black is data, white background, any other a grey pixel.
Classifier make_code_classifier(const PngImage& image, const ReaderOptions& options) {
  if (options.selected != nullptr) {
    if (image.codes_are_values) return make_classifier(options.selected, options.widest_step);
    ColourTable listed{};
    for (unsigned code = 0; code < 256; ++code) {
      listed[code] = (*options.selected)[image.value_of[code]];
    }
    return make_classifier(&listed, options.widest_step);
  }
  const bool levels = image.codes_are_values && image.code_entries == 256 &&
                      (image.colour_type == kGreyscale || image.colour_type == kGreyAlpha);
  if (levels) return make_classifier(nullptr, options.widest_step);  // grey levels: 0 and 255
  std::uint8_t classes[256];
  for (unsigned code = 0; code < 256; ++code) {
    const CensusColour c = image.colour_of[image.value_of[code]];
    const unsigned sum = unsigned{c.red} + c.green + c.blue;
    classes[code] = code >= image.code_entries ? kGreyPixel
                    : sum == 0                 ? kData
                    : sum == 3 * 255           ? kBackground
                                               : kGreyPixel;
  }
  return make_table_classifier(classes);
}

// Classifies a row's codes into the bitmap; a pass row of an interlaced image pixel by pixel.
bool classify_row(const Classifier& c, const std::uint8_t* codes, const platform::RowPlace& place,
                  DataBitmap& bitmap) {
  std::uint8_t* const row = bitmap.row(std::int32_t(place.y));
  if (place.step == 1) return classify_span(c, codes, place.count, row, place.x);
  for (std::uint32_t i = 0, x = place.x; i < place.count; ++i, x += place.step) {
    if (!classify_pixel(c, codes[i], row, x)) return false;
  }
  return true;
}

Ending decode_into_bitmap(PngImage& image, const ReaderOptions& options, DataBitmap& bitmap) {
  const Classifier classifier = make_code_classifier(image, options);
  return read_rows(image, [&](PngImage& im, const platform::RowPlace& place) -> Ending {
    const std::uint8_t* const codes = row_codes(im, place.count);
    if (classify_row(classifier, codes, place, bitmap)) return kGoOn;
    // Only black&white classification fails: at a grey pixel, or at a code without a colour.
    const std::uint8_t* const fault =
        std::find_if(codes, codes + place.count,
                     [&](std::uint8_t code) { return classifier.classes[code] == kGreyPixel; });
    if (*fault >= im.code_entries)
      return report_outside_map(*fault, im.code_entries, im.input_name);
    return report_grey_pixel(im.input_name);
  });
}

Ending decode_graph(const PngHeader& header, PngImage& image, const ReaderOptions& options,
                    DataBitmap& bitmap) {
  if (is_true_colour(image)) {
    // The colours must be known and numbered before any pixel can have its code.
    if (Ending ending = collect_colours(image)) return ending;
    Histogram unused{};
    number_colours(image, unused);
    const DecodeStatus status = image.decoder.restart();
    if (status != DecodeStatus::kOk) {
      return report_decoder_failure(status, image.decoder, image.input_name);
    }
  }
  const std::int32_t width = std::int32_t(header.width);
  const std::uint32_t stride = (header.width + 7) / 8;
  if (Ending ending = allocate_data_bitmap(width, std::int32_t(header.height), stride, bitmap)) {
    return ending;
  }
  return decode_into_bitmap(image, options, bitmap);
}

}  // namespace

bool is_png_signature(const std::uint8_t* bytes, std::size_t size) {
  return size >= kPngSignatureSize && std::memcmp(bytes, kSignature, kPngSignatureSize) == 0;
}

Ending png_read_header(InputFile& input, const char* input_name, bool verbose, PngHeader& header) {
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
  PngImage image;
  image.input_name = options.input_name;
  image.colour_type = header.colour_type;
  image.width = header.width;
  if (Ending ending = start_image(input, header, image)) return ending;
  if (options.census) return run_census(image, options);
  const Ending ending = decode_graph(header, image, options, bitmap);
  // A decode that did not finish leaves no half-filled bitmap behind.
  if (ending) bitmap = DataBitmap{};
  return ending;
}

}  // namespace curvlog
