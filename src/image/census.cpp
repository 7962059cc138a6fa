#include "image/census.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/console.h"
#include "cli/value_range.h"
#include "image/data_bitmap.h"
#include "image/two_part_read.h"

namespace curvlog {
namespace {

// One pixel value: how many pixels carry it, and the colour it shows.
struct ColourCount {
  std::uint32_t count;
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

using ColourCountTable = std::unique_ptr<ColourCount[], FreeDeleter>;

// A 5-bit channel spread over 8 bits, so that 31 becomes 255.
std::uint8_t expand_five_bits(unsigned channel) {
  return static_cast<std::uint8_t>(channel << 3 | channel >> 2);
}

// Reads the colour map into the table, one byte per request. Entries are stored blue, green,
// red (and alpha for 32 bits), or as one little-endian 16-bit word A1R5G5B5.
Ending read_colour_map(platform::InputFile& input, const TgaHeader& header, const char* input_name,
                       ColourCount* table) {
  const unsigned entry_bytes = tga_colour_map_entry_bytes(header.colour_map_entry_size);
  for (unsigned i = 0; i < header.colour_map_length; ++i) {
    int bytes[4] = {};
    for (unsigned b = 0; b < entry_bytes; ++b) {
      bytes[b] = input.read_byte();
      if (bytes[b] < 0) return report_pixel_read_failure(input, bytes[b], input_name);
    }
    ColourCount& entry = table[i];
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

// Per-value counts, and the value that most pixels carry (the background of a graph): its
// pixels are told apart 64 at a time by comparisons and counted in bulk, the others one by one.
struct Histogram {
  std::uint32_t counts[256];
  std::uint8_t background;
};

#if defined(__SSE2__)
// True when the 64 pixels at in all hold the value spread over background.
bool all_equal_64(const std::uint8_t* in, __m128i background) {
  const __m128i* const block = reinterpret_cast<const __m128i*>(in);
  const __m128i same01 = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(block), background),
                                       _mm_cmpeq_epi8(_mm_loadu_si128(block + 1), background));
  const __m128i same23 = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(block + 2), background),
                                       _mm_cmpeq_epi8(_mm_loadu_si128(block + 3), background));
  return _mm_movemask_epi8(_mm_and_si128(same01, same23)) == 0xFFFF;
}
#endif

// Counts count pixels. Returns the index of the first one without a table entry (value at or
// beyond entries), or count when there is none. The background (0 at first) has an entry.
std::uint32_t count_span(const std::uint8_t* in, std::uint32_t count, unsigned entries,
                         Histogram& histogram) {
  std::uint32_t i = 0;
#if defined(__SSE2__)
  // In registers for the loop: through the histogram each step would wait on the last.
  std::uint8_t value = histogram.background;
  std::uint32_t value_count = 0;
  __m128i background = _mm_set1_epi8(static_cast<char>(value));
  for (; i + 64 <= count; i += 64) {
    if (all_equal_64(in + i, background)) {
      value_count += 64;
      continue;
    }
    // The other pixels' places, one bit each, visited in file order.
    std::uint64_t others = 0;
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i) + q);
      const unsigned same = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, background)));
      others |= std::uint64_t(~same & 0xFFFF) << (16 * q);
    }
    unsigned others_count = 0;
    for (; others != 0; others &= others - 1) {
      const std::uint32_t at = i + unsigned(std::countr_zero(others));
      if (in[at] >= entries) return at;
      ++histogram.counts[in[at]];
      ++others_count;
    }
    value_count += 64 - others_count;
    // Mostly other values: the background has changed, or is yet to be found. The last pixel
    // has an entry, or the count would have ended at it.
    if (others_count > 32) {
      histogram.counts[value] += value_count;
      value = in[i + 63];
      value_count = 0;
      background = _mm_set1_epi8(static_cast<char>(value));
    }
  }
  histogram.counts[value] += value_count;
  histogram.background = value;
#endif
  for (; i < count; ++i) {
    if (in[i] >= entries) return i;
    ++histogram.counts[in[i]];
  }
  return count;
}

ExitCode report_outside_map(unsigned value, unsigned entries, const char* input_name) {
  print("\nError: pixel value %u is outside the color map of %u entries in file %s\n\n", value,
        entries, input_name);
  return ExitCode::kInvalidContent;
}

void add_counts(const Histogram& histogram, const RunSettings& settings, ColourCount* table,
                unsigned entries, std::uint32_t& total) {
  for (unsigned v = 0; v < 256 && v < entries; ++v) {
    table[v].count = histogram.counts[v];
    if (!settings.excluded_colours[v]) total += histogram.counts[v];
  }
}

// The counting as a task of the two-part read: each part counts into a histogram of its own,
// and the two are added when both are done.
struct CountTask {
  Histogram histogram;
  unsigned entries;
  unsigned outside;  // the value of the pixel that ended the part's count
};

std::uint32_t count_task_span(void* context, std::uint64_t, const std::uint8_t* data,
                              std::uint32_t count) {
  CountTask& task = *static_cast<CountTask*>(context);
  const std::uint32_t counted = count_span(data, count, task.entries, task.histogram);
  if (counted < count) task.outside = data[counted];
  return counted;
}

// Counts every pixel, taking them a buffered span at a time. A value without an entry in the
// table (a colour-mapped pixel beyond the colour map) ends the census: it has no colour to list
// and no place to be counted. Such a pixel lies before anything later in the file, so its
// error wins over a later end of file or read failure, as it does pixel by pixel. The census
// has no cancel checkpoint.
Ending count_pixels(platform::InputFile& input, const TgaHeader& header,
                    const RunSettings& settings, ColourCount* table, unsigned entries,
                    std::uint32_t& total) {
  // At most 65535 x 65535 pixels, which fits 32 bits; so does every count below.
  const std::uint32_t pixels = std::uint32_t{header.width} * header.height;
  CountTask tasks[2] = {{{}, entries, 0}, {{}, entries, 0}};
  void* const contexts[2] = {&tasks[0], &tasks[1]};
  TwoPartOutcome outcome;
  if (read_in_two_parts(input, tga_pixel_offset(header), pixels, 1, CancelCheckpoint::kNone,
                        count_task_span, contexts, &outcome)) {
    if (outcome.end == TwoPartOutcome::End::kContentFault) {
      return report_outside_map(tasks[outcome.part].outside, entries, settings.input_name);
    }
    if (Ending ending = end_of_two_part_read(outcome, settings.input_name)) return ending;
    for (unsigned v = 0; v < 256; ++v) {
      tasks[0].histogram.counts[v] += tasks[1].histogram.counts[v];
    }
    add_counts(tasks[0].histogram, settings, table, entries, total);
    return kGoOn;
  }

  Histogram histogram{};
  std::uint32_t done = 0;
  while (done < pixels) {
    const std::uint8_t* data = nullptr;
    const long available = input.view(&data);
    if (available <= 0) {
      const int result =
          available < 0 ? platform::InputFile::kReadError : platform::InputFile::kEndOfFile;
      return report_pixel_read_failure(input, result, settings.input_name);
    }
    const std::uint32_t count = std::uint32_t(
        std::min<unsigned long>(static_cast<unsigned long>(available), pixels - done));
    const std::uint32_t counted = count_span(data, count, entries, histogram);
    if (counted < count) return report_outside_map(data[counted], entries, settings.input_name);
    input.consume(count);
    done += count;
  }
  add_counts(histogram, settings, table, entries, total);
  return kGoOn;
}

}  // namespace

int format_census_line(char* buffer, std::size_t capacity, unsigned index, std::uint8_t red,
                       std::uint8_t green, std::uint8_t blue, std::uint32_t count,
                       std::uint32_t total, char separator) {
  // The 0.0001 makes a share that lies exactly on a half round up: 1 of 800 prints 0.13.
  const double percent = double(count) / double(total) * 100.0 + 0.0001;
  const int length =
      format_into(buffer, capacity, "%3d  #%02X%02X%02X %11lu %7.2lf%%", int(index), unsigned{red},
                  unsigned{green}, unsigned{blue}, static_cast<unsigned long>(count), percent);
  // The percentage holds the only "." of the line.
  if (length >= 0) substitute_separator(buffer, separator);
  return length;
}

Ending run_colour_census(platform::InputFile& input, const TgaHeader& header,
                         const RunSettings& settings) {
  const bool colour_mapped = header.colour_map_type == 1;
  const unsigned entries = colour_mapped ? header.colour_map_length : 256;
  ColourCountTable table(static_cast<ColourCount*>(std::calloc(entries, sizeof(ColourCount))));
  if (!table) {
    print(colour_mapped ? "Error: unable to allocate memory to store color values\n\n"
                        : "Error: unable to allocate memory to store the used colors\n\n");
    return ExitCode::kOutOfMemory;
  }
  if (colour_mapped) {
    if (Ending ending = read_colour_map(input, header, settings.input_name, table.get())) {
      return ending;
    }
  } else {
    for (unsigned grey = 0; grey < 256; ++grey) {
      const auto level = static_cast<std::uint8_t>(grey);
      table[grey] = ColourCount{0, level, level, level};
    }
  }

  std::uint32_t total = 0;
  if (Ending ending = count_pixels(input, header, settings, table.get(), entries, total)) {
    return ending;
  }

  print("\n");
  if (total == 0) {
    print("Error: no data pixels found in file %s\n\n", settings.input_name);
    return ExitCode::kInvalidContent;
  }
  // Only the first 256 entries can hold pixels of an 8-bit image.
  const unsigned listed = entries < 256 ? entries : 256;
  for (unsigned i = 0; i < listed; ++i) {
    const ColourCount& entry = table[i];
    if (entry.count == 0 || settings.excluded_colours[i]) continue;
    char line[kNumberBufferSize];
    format_census_line(line, sizeof line, i, entry.red, entry.green, entry.blue, entry.count, total,
                       settings.decimal_separator);
    print("%s\n", line);
  }
  return ExitCode::kSuccess;
}

}  // namespace curvlog
