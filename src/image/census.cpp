#include "image/census.h"

#include <algorithm>
#include <cstdint>

#include "base/console.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "image/census_vector.h"
#include "image/data_bitmap.h"
#include "image/frame_spans.h"
#include "image/two_part_read.h"

namespace curvlog {
namespace {

// A 5-bit channel spread over 8 bits, so that 31 becomes 255.
std::uint8_t expand_five_bits(unsigned channel) {
  return static_cast<std::uint8_t>(channel << 3 | channel >> 2);
}

}  // namespace

// Entries are stored blue, green, red (and alpha for 32 bits), or as one little-endian 16-bit
// word A1R5G5B5.
Ending tga_read_colour_map(InputFile& input, const TgaHeader& header,
                           const char* input_name, CensusColour* table) {
  const unsigned entry_bytes = tga_colour_map_entry_bytes(header.colour_map_entry_size);
  for (unsigned i = 0; i < header.colour_map_length; ++i) {
    int bytes[4] = {};
    for (unsigned b = 0; b < entry_bytes; ++b) {
      bytes[b] = input.read_byte();
      if (bytes[b] < 0) return report_pixel_read_failure(input.error(), bytes[b], input_name);
    }
    CensusColour& entry = table[i];
    if (entry_bytes == 2) {
      const unsigned word = unsigned(bytes[0]) | unsigned(bytes[1]) << 8;
      entry.red = expand_five_bits(word >> 10 & 31);
      entry.green = expand_five_bits(word >> 5 & 31);
      entry.blue = expand_five_bits(word & 31);
    } else {
      entry.blue = static_cast<std::uint8_t>(bytes[0]);
      entry.green = static_cast<std::uint8_t>(bytes[1]);
      entry.red = static_cast<std::uint8_t>(bytes[2]);
    }
  }
  return kGoOn;
}

namespace {

// The counting as the task of the pixel read: each part counts into a histogram of its own,
// and the two are added when both are done. A value without an entry in the table (a
// colour-mapped pixel beyond the colour map) ends the census: it has no colour to list and no
// place to be counted. With a plot frame only the pixels that it lets through are counted, and
// only they can end the census so.
struct CountTask {
  Histogram histogram;
  unsigned entries;
  unsigned outside;        // the value of the pixel that ended the part's count
  const PlotFrame* frame;  // null: every pixel counts
  std::uint32_t width;
};

std::uint32_t count_span(void* context, std::uint64_t, const std::uint8_t* data,
                         std::uint32_t count) {
  CountTask& task = *static_cast<CountTask*>(context);
  const std::uint32_t counted = count_pixel_span(data, count, task.entries, task.histogram);
  if (counted < count) task.outside = data[counted];
  return counted;
}

// The same within the frame: the span is cut at the row ends, each row piece into the runs
// that the frame lets through.
std::uint32_t count_framed_span(void* context, std::uint64_t first, const std::uint8_t* data,
                                std::uint32_t count) {
  CountTask& task = *static_cast<CountTask*>(context);
  auto y = std::int32_t(first / task.width);
  auto x = std::uint32_t(first % task.width);
  for (std::uint32_t i = 0; i < count; ++y, x = 0) {
    const std::uint32_t piece = std::min(count - i, task.width - x);
    PixelSpan spans[kMaxFrameSpans];
    const unsigned span_count =
        frame_spans(*task.frame, y, std::int32_t(x), std::int32_t(piece), 1, spans);
    for (unsigned s = 0; s < span_count; ++s) {
      const std::uint32_t at = i + std::uint32_t(spans[s].begin);
      const auto length = std::uint32_t(spans[s].end - spans[s].begin);
      const std::uint32_t counted =
          count_pixel_span(data + at, length, task.entries, task.histogram);
      if (counted < length) {
        task.outside = data[at + counted];
        return at + counted;
      }
    }
    i += piece;
  }
  return count;
}

// Counts every pixel, or those within the frame. A pixel outside the colour map lies before
// anything later in the file, so its error wins over a later end of file or read failure, as it
// does pixel by pixel. The census has no cancel checkpoint.
Ending count_pixels(InputFile& input, const TgaHeader& header,
                    const ReaderOptions& options, unsigned entries, Histogram& histogram) {
  const char* const name = options.input_name;
  const PlotFrame* const frame = options.frame;
  CountTask tasks[2] = {{{}, entries, 0, frame, header.width},
                        {{}, entries, 0, frame, header.width}};
  // At most 65535 x 65535 pixels, which fits 32 bits; so does every count below.
  const PixelData data{tga_pixel_offset(header),
                       std::uint64_t{header.width} * header.height,
                       1,
                       CancelCheckpoint::kNone,
                       frame != nullptr ? count_framed_span : count_span,
                       {&tasks[0], &tasks[1]}};
  int fault_part = -1;
  if (Ending ending = read_pixel_data(input, data, options.two_part_minimum, name, &fault_part)) {
    return ending;
  }
  if (fault_part >= 0) return report_outside_map(tasks[fault_part].outside, entries, name);
  for (unsigned v = 0; v < 256; ++v) {
    histogram.counts[v] = tasks[0].histogram.counts[v] + tasks[1].histogram.counts[v];
  }
  return kGoOn;
}

}  // namespace

ExitCode report_outside_map(unsigned value, unsigned entries, const char* input_name) {
  print("\nError: pixel value %u is outside the color map of %u entries in file %s\n\n", value,
        entries, input_name);
  return ExitCode::kInvalidContent;
}

std::uint32_t count_pixel_span(const std::uint8_t* in, std::uint32_t count, unsigned entries,
                               Histogram& histogram) {
  bool outside = false;
  std::uint32_t i = count_span_vector(in, count, entries, histogram, &outside);
  if (outside) return i;
  for (; i < count; ++i) {
    if (in[i] >= entries) return i;
    ++histogram.counts[in[i]];
  }
  return count;
}

int format_share_line(char* buffer, std::size_t capacity, const char* head, std::uint32_t count,
                      std::uint32_t total, char separator) {
  // The 0.0001 makes a share that lies exactly on a half round up: 1 of 800 prints 0.13.
  const double percent = double(count) / double(total) * 100.0 + 0.0001;
  const int length = format_into(buffer, capacity, "%s %11lu %7.2lf%%", head,
                                 static_cast<unsigned long>(count), percent);
  // The percentage holds the only "." of the line.
  if (length >= 0) substitute_separator(buffer, separator);
  return length;
}

int format_census_line(char* buffer, std::size_t capacity, unsigned index, CensusColour colour,
                       std::uint32_t count, std::uint32_t total, char separator) {
  char head[16];
  format_into(head, sizeof head, "%3d  #%02X%02X%02X", int(index), unsigned{colour.red},
              unsigned{colour.green}, unsigned{colour.blue});
  return format_share_line(buffer, capacity, head, count, total, separator);
}

ExitCode list_census(const Histogram& histogram, const CensusColour* colours, unsigned entries,
                     const ReaderOptions& options) {
  // Only the first 256 entries can hold pixels of an 8-bit image.
  const unsigned listed = std::min(entries, 256u);
  const ColourTable none{};
  const ColourTable excluded_values =
      options.excluded != nullptr ? listed_values(*options.excluded, colours, listed) : none;
  auto excluded = [&](unsigned v) { return excluded_values[v]; };
  std::uint32_t total = 0;
  for (unsigned v = 0; v < listed; ++v) {
    if (!excluded(v)) total += histogram.counts[v];
  }
  print("\n");
  if (total == 0) {
    print("Error: no data pixels found in file %s\n\n", options.input_name);
    return ExitCode::kInvalidContent;
  }
  for (unsigned v = 0; v < listed; ++v) {
    if (histogram.counts[v] == 0 || excluded(v)) continue;
    char line[kNumberBufferSize];
    format_census_line(line, sizeof line, v, colours[v], histogram.counts[v], total,
                       options.decimal_separator);
    print("%s\n", line);
  }
  return ExitCode::kSuccess;
}

Ending run_colour_census(InputFile& input, const TgaHeader& header, const ReaderOptions& options) {
  const bool colour_mapped = header.colour_map_type == 1;
  const unsigned entries = colour_mapped ? header.colour_map_length : 256;
  const CArray<CensusColour> colours = allocate_zeroed<CensusColour>(entries);
  if (!colours) {
    print(colour_mapped ? "Error: unable to allocate memory to store color values\n\n"
                        : "Error: unable to allocate memory to store the used colors\n\n");
    return ExitCode::kOutOfMemory;
  }
  if (colour_mapped) {
    if (Ending ending = tga_read_colour_map(input, header, options.input_name, colours.get())) {
      return ending;
    }
  } else {
    for (unsigned grey = 0; grey < 256; ++grey) {
      const auto level = static_cast<std::uint8_t>(grey);
      colours[grey] = CensusColour{level, level, level};
    }
  }
  Histogram histogram{};
  if (Ending ending = count_pixels(input, header, options, entries, histogram)) return ending;
  return list_census(histogram, colours.get(), entries, options);
}

}  // namespace curvlog
