#include "image/census.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>

#include "image/frame_spans.h"
#include "image/random_frame.h"
#include "image/tga.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace testing_support;

TEST(CensusLine, FormatsIndexColourCountAndShare) {
  struct Case {
    unsigned index;
    std::uint8_t red, green, blue;
    std::uint32_t count, total;
    char separator;
    const char* line;
  };
  // clang-format off
  const Case cases[] = {
      {7, 0x12, 0xAB, 0x0C, 1, 800, ',',          "  7  #12AB0C           1    0,13%"},
      {128, 255, 0, 0, 4294836225u, 4294836225u, 0, "128  #FF0000  4294836225  100.00%"},
  };
  // clang-format on
  for (const Case& c : cases) {
    char line[80];
    EXPECT_EQ(format_census_line(line, sizeof line, c.index, {c.red, c.green, c.blue}, c.count,
                                 c.total, c.separator),
              33);
    EXPECT_EQ(std::string(line), c.line);
  }
}

// A top-left 8-bit file with an image ID of 2 bytes: greyscale when entry_size is 0, else
// colour-mapped (the colour map is part of the body).
std::string census_file(int width, int height, int map_length, int entry_size,
                        std::initializer_list<int> body) {
  const int mapped = entry_size != 0;
  std::string file;
  for (const int v : {2, mapped, mapped ? 1 : 3, 0, 0, map_length & 0xFF, map_length >> 8,
                      entry_size, 0, 0, 0, 0, width & 0xFF, width >> 8, height, 0, 8, 0x20}) {
    file += char(v);
  }
  file += "ID";
  for (const int v : body) file += char(v);
  return file;
}

// Runs the census of the file's bytes, with the given values excluded.
void expect_census(const std::string& file, std::initializer_list<int> excluded, ExitCode code,
                   const std::string& text, std::uint64_t two_part_minimum = kTwoPartMinimum,
                   ColourItem item = {0, 0, 0, 0}, const PlotFrame* frame = nullptr) {
  TempInput input(file);
  ColourList table;
  table.any_index = true;
  for (const int v : excluded) table.indices[v] = true;
  if (item.distance != 0) table.items[table.item_count++] = item;
  ReaderOptions options;
  options.input_name = "g.tga";
  options.census = true;
  options.excluded = &table;
  options.two_part_minimum = two_part_minimum;
  options.frame = frame;
  TgaHeader header;
  ASSERT_FALSE(tga_read_header(input.file, false, header));
  EXPECT_EQ(printed_by([&] { EXPECT_EQ(run_colour_census(input.file, header, options), code); }),
            text);
}

// The runs of row pieces, every step of interlaced passes among them, against the frame
// asked pixel by pixel.
TEST(FrameSpans, HoldThePixelsThatTheFrameLetsThrough) {
  std::mt19937 random(77);
  for (int round = 0; round < 3000; ++round) {
    const PlotFrame frame = random_frame(random, 40, 6);
    const int y = int(random() % 8) - 1, x0 = int(random() % 40), step = 1 + int(random() % 8);
    const int count = int(random() % 41);
    PixelSpan spans[kMaxFrameSpans];
    const unsigned span_count = frame_spans(frame, y, x0, count, step, spans);
    std::string expected, got(std::size_t(count), '.');
    for (int i = 0; i < count; ++i) expected += frame_counts(frame, x0 + i * step, y) ? '#' : '.';
    for (unsigned s = 0; s < span_count; ++s) {
      ASSERT_TRUE(spans[s].begin < spans[s].end && spans[s].end <= count);
      ASSERT_TRUE(s == 0 || spans[s - 1].end <= spans[s].begin);
      got.replace(std::size_t(spans[s].begin), std::size_t(spans[s].end - spans[s].begin),
                  std::size_t(spans[s].end - spans[s].begin), '#');
    }
    ASSERT_EQ(got, expected) << "round " << round;
  }
}

// Counting in spans against one pixel at a time: random images mostly of one background value
// (some larger than a 64 KiB input block), with a pixel outside the colour map or an early end
// now and then, every third within a random plot frame.
TEST(ColourCensus, SpansCountAsPixelByPixel) {
  std::mt19937 random(612);
  for (int round = 0; round < 120; ++round) {
    const int entries = round % 3 == 0 ? 0 : 1 + int(random() % 300);  // 0: greyscale
    const int width = 1 + int(random() % 500), height = 1 + int(random() % 255);
    const int limit = entries == 0 || entries > 256 ? 256 : entries;
    std::string pixels(std::size_t(width * height), char(random() % limit));
    for (std::size_t i = 0; i < pixels.size(); i += 1 + random() % 100) {
      pixels[i] = char(random() % (round % 4 == 1 ? limit + 2 : limit));  // may lie past the map
    }
    const std::size_t size = random() % 4 ? pixels.size() : random() % pixels.size();
    // A value is excluded by its index, or by its colour: near a grey level, or the black of
    // the colour map.
    const int excluded = int(random() % 256);
    const auto grey = std::uint8_t(random() % 256);
    const ColourItem item{grey, grey, grey, std::uint16_t(round % 2 == 0 ? 1 + random() % 90 : 0)};
    auto out = [&](int v) {
      const int c = entries == 0 ? v : 0, d = (c - grey) * (c - grey) * 3;
      return v == excluded || (item.distance != 0 && d <= item.distance * item.distance);
    };
    const bool framed = round % 3 == 2;
    const PlotFrame frame = framed ? random_frame(random, width, height) : PlotFrame{};
    std::uint32_t counts[256] = {}, total = 0;
    std::string text = "\n";
    for (std::size_t i = 0; i < pixels.size() && text == "\n"; ++i) {
      const int v = std::uint8_t(pixels[i]);
      if (i >= size) text = "\nError: unexpected end of file g.tga\n\n";
      if (framed && !frame_counts(frame, int(i) % width, int(i) / width)) continue;
      if (i < size && v >= limit)
        text = "\nError: pixel value " + std::to_string(v) + " is outside the color map of " +
               std::to_string(entries) + " entries in file g.tga\n\n";
      ++counts[v], total += !out(v);
    }
    const bool counted = text == "\n";
    for (int v = 0; v < 256 && counted; ++v) {
      if (counts[v] == 0 || out(v)) continue;
      const auto grey = std::uint8_t(entries == 0 ? v : 0);  // the colour map is all black
      char line[80];
      format_census_line(line, sizeof line, unsigned(v), {grey, grey, grey}, counts[v], total, 0);
      text += line + std::string("\n");
    }
    if (counted && total == 0) text = "\nError: no data pixels found in file g.tga\n\n";
    SCOPED_TRACE(round);
    expect_census(census_file(width, height, entries, entries != 0 ? 24 : 0, {}) +
                      std::string(std::size_t(3 * entries), '\0') + pixels.substr(0, size),
                  {excluded},
                  counted && total != 0 ? ExitCode::kSuccess : ExitCode::kInvalidContent, text,
                  round % 2 ? 0 : UINT64_MAX,  // every other round in two parts at once
                  item, framed ? &frame : nullptr);
  }
}

}  // namespace
}  // namespace curvlog
