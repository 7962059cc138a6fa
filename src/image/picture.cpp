#include "image/picture.h"

#include <algorithm>
#include <cstdint>

#include "base/cancel.h"
#include "base/console.h"
#include "base/owners.h"
#include "image/census.h"
#include "image/classify.h"
#include "image/colour_cache.h"
#include "image/colour_census.h"
#include "image/colour_counts.h"
#include "image/colour_select.h"
#include "image/frame_spans.h"

namespace curvlog {
namespace {

using platform::DecodedPixels;
using platform::DecodeStatus;
using platform::RowPlace;

// ---- Colours ---------------------------------------------------------------------------------

// A sample c with alpha a laid over white, rounded to the nearest level of its depth.
unsigned over_white(unsigned c, unsigned a, unsigned full) {
  return unsigned((std::uint64_t{c} * a + std::uint64_t{full} * (full - a) + full / 2) / full);
}

// A palette entry over white.
std::uint32_t palette_colour(const DecodedPixels& pixels, unsigned index) {
  const std::uint8_t* const entry = pixels.palette[index];
  return pack_colour(over_white(entry[0], entry[3], 255), over_white(entry[1], entry[3], 255),
                     over_white(entry[2], entry[3], 255));
}

// The colours of a row's pixels (not palette indices) over white, 8 bits a channel: 16-bit
// samples keep their high byte once laid over white; a grey level g is (g, g, g).
void row_colours(const DecodedPixels& pixels, const std::uint8_t* samples, std::uint32_t count,
                 std::uint32_t* colours) {
  const unsigned channels = pixels.channels;
  // The common kinds first: every colour JPEG, and most PNG plots.
  if (channels == 3 && pixels.bits == 8) {
    for (std::uint32_t i = 0; i < count; ++i, samples += 3) {
      colours[i] = pack_colour(samples[0], samples[1], samples[2]);
    }
    return;
  }
  if (channels == 4 && pixels.bits == 8) {
    for (std::uint32_t i = 0; i < count; ++i, samples += 4) {
      const unsigned a = samples[3];
      colours[i] = a == 255
                       ? pack_colour(samples[0], samples[1], samples[2])
                       : pack_colour(over_white(samples[0], a, 255), over_white(samples[1], a, 255),
                                     over_white(samples[2], a, 255));
    }
    return;
  }
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
    colours[i] = pack_colour(channel[0], channel[1], channel[2]);
  }
}

// The table of a colour picture of at most 256 colours: an open hash table of 24-bit colours,
// at most a quarter full, that numbers them in ascending order.
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
      colours[i] = unpack_colour(sorted[i]);
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

// ---- The picture as 8-bit codes or as colours --------------------------------------------------

// Each pixel of a row becomes a code: the decoder's own byte for grey levels and palette indices
// of up to 8 bits, or else a grey level or a colour-table index worked out from its colour.
// A code stands for an 8-bit value (what the census lists and a colour list names), and the
// value for a colour. The pixels of a colour picture are colours first, and codes only once
// the picture is known to have at most 256 of them.
struct Picture {
  const PictureDecoder* decoder = nullptr;
  const PictureKind* kind = nullptr;
  const char* input_name = "";
  bool colour = false;            // the pixels are colours: three channels, or four with alpha
  CArray<std::uint8_t> samples;   // one row as the decoder delivers it
  CArray<std::uint32_t> colours;  // and its colours, when its bytes are not the codes
  CArray<std::uint8_t> codes;     // and its codes then
  bool samples_are_codes = false;
  bool codes_are_values = true;
  unsigned code_entries = 256;  // codes from here on have no colour (beyond a short palette)
  unsigned value_entries = 256;
  std::uint8_t value_of[256] = {};
  CensusColour colour_of[256] = {};
  ColourSet table;                 // a colour picture's colours, when it has index values
  std::uint8_t grey_of[256] = {};  // for the overlay: the grey of each code, white without a colour
};

const DecodedPixels& pixels_of(const Picture& picture) {
  return picture.decoder->pixels(picture.decoder->decoder);
}

ExitCode report_failure(const Picture& picture, DecodeStatus status) {
  const platform::ErrorCode error = picture.decoder->error(picture.decoder->decoder);
  return picture.kind->report_failure(status, error, picture.input_name);
}

// An index list, or a black&white run, on a picture whose pixels have no index values.
ExitCode refuse_index_values(const Picture& picture) {
  print("\nError: the %s file %s %s.\n", picture.kind->name, picture.input_name,
        picture.kind->no_index_values);
  print("Name the curve by its color (/T#RRGGBB); /T %s\n", picture.input_name);
  print("lists the picture's main colors.\n\n");
  return ExitCode::kInvalidContent;
}

// Decides how rows become codes, and takes the memory for a row.
Ending start_picture(Picture& picture) {
  const DecodedPixels& pixels = pixels_of(picture);
  const bool grey = picture.kind->grey;
  for (unsigned v = 0; v < 256; ++v) {
    picture.value_of[v] = std::uint8_t(v);
    picture.colour_of[v] = CensusColour{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v)};
  }
  if (pixels.indexed) {
    picture.samples_are_codes = true;
    picture.codes_are_values = !grey;
    picture.code_entries = pixels.palette_size;
    if (!grey) picture.value_entries = pixels.palette_size;
    for (unsigned i = 0; i < pixels.palette_size; ++i) {
      const std::uint32_t colour = palette_colour(pixels, i);
      if (grey) {
        picture.value_of[i] = std::uint8_t(colour);  // a grey's blue is its level
      } else {
        picture.colour_of[i] = unpack_colour(colour);
      }
    }
  } else if (pixels.channels == 1 && pixels.bits <= 8) {
    // Levels of fewer bits spread over 0-255: a 2-bit level times 85.
    picture.samples_are_codes = true;
    picture.codes_are_values = pixels.bits == 8;
    const unsigned levels = 1u << pixels.bits;
    for (unsigned code = 0; code < levels; ++code) {
      picture.value_of[code] = std::uint8_t(code * 255 / (levels - 1));
    }
  }
  picture.colour = !pixels.indexed && pixels.channels >= 3;
  const std::uint32_t width = picture.kind->width;
  picture.samples =
      allocate_zeroed<std::uint8_t>(picture.decoder->row_bytes(picture.decoder->decoder));
  if (!picture.samples_are_codes) {
    picture.colours = allocate_zeroed<std::uint32_t>(width);
    picture.codes = allocate_zeroed<std::uint8_t>(width);
  }
  if (!picture.samples || (!picture.samples_are_codes && (!picture.colours || !picture.codes))) {
    return report_failure(picture, DecodeStatus::kOutOfMemory);
  }
  return kGoOn;
}

// The colours of the row in samples.
const std::uint32_t* row_colours(Picture& picture, std::uint32_t count) {
  row_colours(pixels_of(picture), picture.samples.get(), count, picture.colours.get());
  return picture.colours.get();
}

// The codes of the row in samples. A colour picture's table must be numbered.
const std::uint8_t* row_codes(Picture& picture, std::uint32_t count) {
  if (picture.samples_are_codes) return picture.samples.get();
  const std::uint32_t* const colours = row_colours(picture, count);
  std::uint8_t* const codes = picture.codes.get();
  if (!picture.colour) {
    for (std::uint32_t i = 0; i < count; ++i) codes[i] = std::uint8_t(colours[i]);
    return codes;
  }
  // Neighbours mostly share their colour: one look-up per run.
  std::uint32_t last = colours[0];
  std::uint8_t index = picture.table.index_of(last);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (colours[i] != last) index = picture.table.index_of(last = colours[i]);
    codes[i] = index;
  }
  return codes;
}

// Reads every row, handing each to take(place), then the rest of the file. The cancel
// checkpoint comes before each row.
template <typename Take>
Ending read_rows(Picture& picture, Take take) {
  const PictureDecoder& d = *picture.decoder;
  const std::uint32_t rows = d.rows(d.decoder);
  for (std::uint32_t r = 0; r < rows; ++r) {
    if (cancel_requested()) return ExitCode::kSuccess;
    RowPlace place;
    const DecodeStatus status = d.next_row(d.decoder, picture.samples.get(), &place);
    if (status != DecodeStatus::kOk) return report_failure(picture, status);
    if (Ending ending = take(place)) return ending;
  }
  const DecodeStatus status = d.finish(d.decoder);
  if (status != DecodeStatus::kOk) return report_failure(picture, status);
  return kGoOn;
}

// Calls take(colour, first, n) for each run of n pixels of one colour in the row in samples,
// from pixel first on, while it returns true. False when take ended the row.
template <typename Take>
bool each_run(Picture& picture, std::uint32_t count, Take take) {
  const DecodedPixels& pixels = pixels_of(picture);
  if (pixels.channels >= 3 && pixels.bits == 8) {
    // Runs in the samples themselves: most of a plot is one colour.
    const unsigned size = pixels.channels;
    const std::uint8_t* const samples = picture.samples.get();
    for (std::uint32_t i = 0, n = 0; i < count; i += n) {
      const std::uint8_t* const p = samples + std::size_t{i} * size;
      n = pixel_run(p, count - i, size);
      const unsigned a = size == 4 ? p[3] : 255;
      const std::uint32_t colour =
          a == 255 ? pack_colour(p[0], p[1], p[2])
                   : pack_colour(over_white(p[0], a, 255), over_white(p[1], a, 255),
                                 over_white(p[2], a, 255));
      if (!take(colour, i, n)) return false;
    }
    return true;
  }
  const std::uint32_t* const colours = row_colours(picture, count);
  for (std::uint32_t i = 0, n = 1; i < count; i += n) {
    for (n = 1; i + n < count && colours[i + n] == colours[i];) ++n;
    if (!take(colours[i], i, n)) return false;
  }
  return true;
}

// The pass over a colour picture that makes its table, ending at the 257th colour; then the
// colours are numbered, which become the values, and their counts fill histogram.
Ending make_colour_table(Picture& picture, Histogram& histogram) {
  Ending ending = read_rows(picture, [&picture](const RowPlace& place) -> Ending {
    const bool fits =
        each_run(picture, place.count, [&picture](std::uint32_t c, std::uint32_t, std::uint32_t n) {
          return picture.table.add(c, n);
        });
    return fits ? kGoOn : Ending{refuse_index_values(picture)};
  });
  if (ending) return ending;
  picture.code_entries = picture.value_entries =
      picture.table.number(picture.colour_of, histogram.counts);
  return kGoOn;
}

// The runs of the row piece at place that the frame lets through; their number.
unsigned row_spans(const PlotFrame& frame, const RowPlace& place,
                   PixelSpan (&spans)[kMaxFrameSpans]) {
  return frame_spans(frame, std::int32_t(place.y), std::int32_t(place.x), std::int32_t(place.count),
                     std::int32_t(place.step), spans);
}

// The census of a colour picture: one pass counts its colours, then those of a picture with
// index values are listed by value, the others as main colours. With a frame only the pixels
// that it lets through are counted, but whether the picture has index values, and which
// colour has which value, still depend on every pixel: a graph run numbers them so.
Ending colour_census(Picture& picture, const ReaderOptions& options) {
  const bool index_excluded = options.excluded != nullptr && options.excluded->any_index;
  if (!picture.kind->colour_table && index_excluded) return refuse_index_values(picture);
  const PlotFrame* const frame = options.frame;
  ColourCounts counts;  // of the pixels counted
  ColourCounts every;   // with a frame, every colour, for the numbers of the values
  const bool numbered = frame != nullptr && picture.kind->colour_table;
  Ending ending = read_rows(picture, [&](const RowPlace& place) -> Ending {
    bool counted = false;
    if (frame == nullptr) {
      counted = each_run(
          picture, place.count,
          [&counts](std::uint32_t c, std::uint32_t, std::uint32_t n) { return counts.add(c, n); });
    } else {
      PixelSpan spans[kMaxFrameSpans];
      const unsigned span_count = row_spans(*frame, place, spans);
      unsigned s = 0;  // the first span that may overlap the run: runs come left to right
      counted = each_run(
          picture, place.count, [&](std::uint32_t c, std::uint32_t first, std::uint32_t n) {
            if (numbered && !every.add(c, 0)) return false;
            const std::int64_t end = std::int64_t{first} + n;
            while (s < span_count && spans[s].end <= std::int64_t{first}) ++s;
            for (unsigned t = s; t < span_count && spans[t].begin < end; ++t) {
              const std::int64_t from = std::max<std::int64_t>(first, spans[t].begin);
              const std::int64_t to = std::min<std::int64_t>(end, spans[t].end);
              if (!counts.add(c, std::uint32_t(to - from))) return false;
            }
            return true;
          });
    }
    return counted ? kGoOn : Ending{report_colour_table_refused()};
  });
  if (ending) return ending;
  const ColourCounts& colours = numbered ? every : counts;
  if (picture.kind->colour_table && colours.size() <= 256) {
    // Every colour takes its number, the counted pixels their counts.
    colours.each([&picture](std::uint32_t c, std::uint32_t) { picture.table.add(c, 0); });
    counts.each([&picture](std::uint32_t c, std::uint32_t n) { picture.table.add(c, n); });
    Histogram histogram{};
    const unsigned entries = picture.table.number(picture.colour_of, histogram.counts);
    return list_census(histogram, picture.colour_of, entries, options);
  }
  if (index_excluded) return refuse_index_values(picture);
  return list_main_colours(counts, options);
}

// Counts the codes of the row in samples, or those that the frame lets through. Ends the
// census at a counted code without a colour.
Ending count_row_codes(Picture& picture, const RowPlace& place, const PlotFrame* frame,
                       Histogram& codes) {
  const std::uint8_t* const row = row_codes(picture, place.count);
  PixelSpan spans[kMaxFrameSpans];
  unsigned span_count = 1;
  if (frame == nullptr) {
    spans[0] = PixelSpan{0, std::int32_t(place.count)};
  } else {
    span_count = row_spans(*frame, place, spans);
  }
  for (unsigned s = 0; s < span_count; ++s) {
    const std::uint8_t* const run = row + spans[s].begin;
    const auto length = std::uint32_t(spans[s].end - spans[s].begin);
    const std::uint32_t counted = count_pixel_span(run, length, picture.code_entries, codes);
    if (counted < length) {
      return report_outside_map(run[counted], picture.code_entries, picture.input_name);
    }
  }
  return kGoOn;
}

Ending run_census(Picture& picture, const ReaderOptions& options) {
  if (picture.colour) return colour_census(picture, options);
  Histogram codes{};
  Ending ending = read_rows(picture, [&](const RowPlace& place) {
    return count_row_codes(picture, place, options.frame, codes);
  });
  if (ending) return ending;
  Histogram histogram{};
  for (unsigned code = 0; code < 256; ++code) {
    histogram.counts[picture.value_of[code]] += codes.counts[code];
  }
  return list_census(histogram, picture.colour_of, picture.value_entries, options);
}

// ---- The grey plane of the overlay ------------------------------------------------------------

// The grey of each code, once the codes' colours are known.
void start_grey_plane(Picture& picture) {
  const CensusColour white{255, 255, 255};
  for (unsigned code = 0; code < 256; ++code) {
    picture.grey_of[code] =
        plane_grey(code < picture.code_entries ? picture.colour_of[picture.value_of[code]] : white);
  }
}

// Writes the grey of each pixel of the row in samples at its place in the plane.
void write_plane_row(Picture& picture, const RowPlace& place, std::uint8_t* plane) {
  std::uint8_t* out = plane + std::size_t{place.y} * picture.kind->width + place.x;
  const std::size_t step = place.step;
  if (picture.samples_are_codes) {
    const std::uint8_t* const codes = picture.samples.get();
    for (std::uint32_t i = 0; i < place.count; ++i, out += step) *out = picture.grey_of[codes[i]];
    return;
  }
  const std::uint32_t* const colours = row_colours(picture, place.count);
  std::uint32_t last = ~std::uint32_t{0};
  std::uint8_t grey = 0;
  for (std::uint32_t i = 0; i < place.count; ++i, out += step) {
    if (colours[i] != last) grey = plane_grey(unpack_colour(last = colours[i]));
    *out = grey;
  }
}

// ---- The graph run -----------------------------------------------------------------------------

// How codes classify: by the colour list, through the codes' values and their colours; or,
// without one, by their colours: black is data, white background, any other a grey pixel.
Classifier make_code_classifier(const Picture& picture, const ReaderOptions& options) {
  if (options.selected != nullptr) {
    const ColourTable values =
        listed_values(*options.selected, picture.colour_of, picture.value_entries);
    if (picture.codes_are_values) return make_classifier(&values, options.widest_step);
    ColourTable listed{};
    for (unsigned code = 0; code < 256; ++code) listed[code] = values[picture.value_of[code]];
    return make_classifier(&listed, options.widest_step);
  }
  const bool levels = picture.codes_are_values && picture.code_entries == 256 && picture.kind->grey;
  if (levels) return make_classifier(nullptr, options.widest_step);  // grey levels: 0 and 255
  std::uint8_t classes[256];
  for (unsigned code = 0; code < 256; ++code) {
    const CensusColour c = picture.colour_of[picture.value_of[code]];
    const unsigned sum = unsigned{c.red} + c.green + c.blue;
    classes[code] = code >= picture.code_entries ? kGreyPixel
                    : sum == 0                   ? kData
                    : sum == 3 * 255             ? kBackground
                                                 : kGreyPixel;
  }
  return make_table_classifier(classes);
}

// Classifies a row's codes into the bitmap; a pass row of an interlaced image pixel by pixel.
bool classify_row(const Classifier& c, const std::uint8_t* codes, const RowPlace& place,
                  DataBitmap& bitmap) {
  std::uint8_t* const row = bitmap.row(std::int32_t(place.y));
  if (place.step == 1) return classify_span(c, codes, place.count, row, place.x);
  for (std::uint32_t i = 0, x = place.x; i < place.count; ++i, x += place.step) {
    if (!classify_pixel(c, codes[i], row, x)) return false;
  }
  return true;
}

Ending classify_codes(Picture& picture, const ReaderOptions& options, DataBitmap& bitmap) {
  const Classifier classifier = make_code_classifier(picture, options);
  return read_rows(picture, [&](const RowPlace& place) -> Ending {
    if (options.grey_plane != nullptr) write_plane_row(picture, place, options.grey_plane);
    const std::uint8_t* const codes = row_codes(picture, place.count);
    if (classify_row(classifier, codes, place, bitmap)) return kGoOn;
    // Only black&white classification fails: at a grey pixel, or at a code without a colour.
    const std::uint8_t* const fault =
        std::find_if(codes, codes + place.count,
                     [&](std::uint8_t code) { return classifier.classes[code] == kGreyPixel; });
    if (*fault >= picture.code_entries) {
      return report_outside_map(*fault, picture.code_entries, picture.input_name);
    }
    return report_grey_pixel(picture.input_name);
  });
}

// A colour picture whose list names colours only: each pixel by its colour, in one pass.
Ending select_by_colour(Picture& picture, const ColourList& selected, std::uint8_t* grey_plane,
                        DataBitmap& bitmap) {
  ColourDecisions decisions(selected);
  return read_rows(picture, [&](const RowPlace& place) -> Ending {
    if (grey_plane != nullptr) write_plane_row(picture, place, grey_plane);
    std::uint8_t* const row = bitmap.row(std::int32_t(place.y));
    each_run(picture, place.count, [&](std::uint32_t c, std::uint32_t first, std::uint32_t n) {
      if (decisions.covers(c)) mark_run(row, place.x, place.step, first, n);
      return true;
    });
    return kGoOn;
  });
}

Ending decode_graph(Picture& picture, const ReaderOptions& options, DataBitmap& bitmap) {
  const bool by_colour =
      picture.colour && options.selected != nullptr && !options.selected->any_index;
  if (picture.colour && !by_colour) {
    // Index values, or black and white told by a value's colour: the colours must be known
    // and numbered before any pixel can have its code.
    if (!picture.kind->colour_table) return refuse_index_values(picture);
    Histogram unused{};
    if (Ending ending = make_colour_table(picture, unused)) return ending;
    const DecodeStatus status = picture.decoder->restart(picture.decoder->decoder);
    if (status != DecodeStatus::kOk) return report_failure(picture, status);
  }
  const std::uint32_t width = picture.kind->width;
  if (Ending ending = allocate_data_bitmap(std::int32_t(width), std::int32_t(picture.kind->height),
                                           (width + 7) / 8, bitmap)) {
    return ending;
  }
  if (options.grey_plane != nullptr) start_grey_plane(picture);
  if (by_colour) return select_by_colour(picture, *options.selected, options.grey_plane, bitmap);
  return classify_codes(picture, options, bitmap);
}

}  // namespace

Ending read_picture(const PictureDecoder& decoder, const PictureKind& kind,
                    const ReaderOptions& options, DataBitmap& bitmap) {
  Picture picture;
  picture.decoder = &decoder;
  picture.kind = &kind;
  picture.input_name = options.input_name;
  if (Ending ending = start_picture(picture)) return ending;
  if (options.census) return run_census(picture, options);
  const Ending ending = decode_graph(picture, options, bitmap);
  // A decode that did not finish leaves no half-filled bitmap behind.
  if (ending) bitmap = DataBitmap{};
  return ending;
}

}  // namespace curvlog
