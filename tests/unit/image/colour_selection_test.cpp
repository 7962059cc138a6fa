#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/census.h"
#include "image/colour_census.h"
#include "image/jpeg.h"
#include "image/png.h"
#include "image/random_frame.h"
#include "image/tga.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace testing_support;

// A picture as a plain reader sees it: each pixel's colour, and its value where it has one.
struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> colour;
  std::vector<int> value;  // empty: no values
};

// A binary PPM or PGM file, or an 8-bit top-left TGA file: grey levels, or a 24-bit colour map.
Pixels plain_pixels(const std::string& name) {
  std::ifstream in(CURVLOG_TEST_DATA "/" + name, std::ios::binary);
  const std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto at = [&](std::size_t i) { return unsigned(std::uint8_t(f[i])); };
  Pixels p;
  if (f[0] == 'P') {
    std::sscanf(f.c_str() + 2, "%d %d", &p.width, &p.height);
    const std::size_t size = f[1] == '6' ? 3 : 1, k = size / 3;  // k: 1 for colours
    for (std::size_t i = f.size() - size * std::size_t(p.width * p.height); i < f.size();
         i += size) {
      p.colour.push_back(at(i) << 16 | at(i + k) << 8 | at(i + 2 * k));
    }
    return p;
  }
  p.width = int(at(12) | at(13) << 8), p.height = int(at(14) | at(15) << 8);
  const std::size_t map = 18 + at(0), map_length = at(5) | at(6) << 8;
  const std::size_t pixels = map + 3 * map_length;
  for (std::size_t i = pixels; i < pixels + std::size_t(p.width * p.height); ++i) {
    const unsigned v = at(i), e = unsigned(map + 3 * v);
    p.value.push_back(int(v));
    p.colour.push_back(map_length ? at(e + 2) << 16 | at(e + 1) << 8 | at(e) : v * 0x010101);
  }
  return p;
}

// The file read by the program's reader of its kind.
Ending read_file(const std::string& name, const ReaderOptions& given, DataBitmap& bitmap) {
  // The system's decoders on Windows open the file by the name the options give.
  const std::string path = CURVLOG_TEST_DATA "/" + name;
  ReaderOptions options = given;
  options.input_name = path.c_str();
  const char* const g = options.input_name;
  InputFile input;
  platform::ErrorCode error = 0;
  EXPECT_TRUE(input.open(g, &error)) << name;
  if (name.ends_with(".jpg")) {
    JpegHeader header;
    EXPECT_FALSE(jpeg_read_header(input, g, false, header));
    EXPECT_TRUE(jpeg_validate_header(header, g));
    return jpeg_decode(input, header, options, bitmap);
  }
  if (name.ends_with(".png")) {
    PngHeader header;
    EXPECT_FALSE(png_read_header(input, g, false, header));
    EXPECT_TRUE(png_validate_header(header, g));
    return png_decode(input, header, options, bitmap);
  }
  TgaHeader header;
  EXPECT_FALSE(tga_read_header(input, false, header));
  EXPECT_TRUE(tga_validate_header(header, options));
  return tga_decode(input, header, options, bitmap);
}

Ending read_selected(const std::string& name, const ColourList& list, DataBitmap& bitmap) {
  ReaderOptions options;
  options.input_name = "g";
  options.selected = &list;
  return read_file(name, options, bitmap);
}

// Random lists of indices and colour items (near the picture's colours or anywhere, any
// distance) on every kind of picture: a pixel is data when its value is listed or an item's
// colour lies within the item's distance of its own. A picture without values refuses indices.
TEST(ColourSelection, EveryKindSelectsAsPixelByPixel) {
  const char* const kinds[][2] = {
      {"tga/pillow_grey_top_left.tga", "tga/pillow_grey_top_left.tga"},
      {"png/matplotlib_plot.tga", "png/matplotlib_plot.tga"},
      {"png/pillow_grey8.png", "tga/pillow_grey_top_left.tga"},
      {"png/pillow_grey_alpha.png", "tga/pillow_grey_top_left.tga"},
      {"png/pillow_grey16.png", "png/levels.tga"},
      {"png/netpbm_grey2_interlaced.png", "png/levels.tga"},
      {"png/netpbm_palette.png", "png/netpbm_palette.tga"},
      {"png/magick_interlaced.png", "png/magick_interlaced.tga"},
      {"png/pillow_rgb.png", "png/pillow_rgb.tga"},
      {"png/netpbm_rgb16.png", "png/pillow_rgb.tga"},
      {"png/pillow_rgba.png", "png/pillow_rgba.tga"},
      {"png/magick_rgba16.png", "png/pillow_rgba.tga"},
      {"png/matplotlib_plot.png", "png/matplotlib_plot.tga"},
      {"png/matplotlib_antialiased.png", "png/matplotlib_antialiased.ppm"},
      {"png/pillow_antialiased_rgb.png", "png/matplotlib_antialiased.ppm"},
      {"png/magick_antialiased_interlaced.png", "png/matplotlib_antialiased.ppm"},
  };
  std::mt19937 random(17);
  for (const auto& kind : kinds) {
    const std::string file = kind[0], twin = kind[1];
    const Pixels plain = plain_pixels(twin);
    ASSERT_EQ(plain.colour.size(), std::size_t(plain.width * plain.height)) << twin;
    for (int round = 0; round < 24; ++round) {
      SCOPED_TRACE(file + " round " + std::to_string(round));
      ColourList list;
      for (unsigned i = 0; i < 1 + random() % 4 && round % 3 != 0; ++i) {
        const std::uint32_t near =
            plain.colour[random() % plain.colour.size()] ^ (random() & 0x070707);
        const std::uint32_t c = round % 4 == 1 ? random() & 0xFFFFFF : near;
        list.items[list.item_count++] = {std::uint8_t(c >> 16), std::uint8_t(c >> 8),
                                         std::uint8_t(c),
                                         std::uint16_t(random() % (round % 2 ? 20 : 200))};
      }
      for (unsigned i = 0; i < 2 && round % 3 != 1; ++i) {
        list.indices[plain.value.empty() ? random() % 256
                                         : plain.value[random() % plain.value.size()]] = true;
        list.any_index = true;
      }
      DataBitmap bitmap;
      Ending ending;
      const std::string text = printed_by([&] { ending = read_selected(file, list, bitmap); });
      if (list.any_index && plain.value.empty()) {
        EXPECT_EQ(ending, ExitCode::kInvalidContent);
        EXPECT_NE(text.find("has more than 256 colors"), std::string::npos) << text;
        continue;
      }
      ASSERT_FALSE(ending) << text;
      int wrong = 0;
      for (int i = 0; i < plain.width * plain.height; ++i) {
        bool data = !plain.value.empty() && list.indices[std::size_t(plain.value[std::size_t(i)])];
        const std::uint32_t c = plain.colour[std::size_t(i)];
        for (unsigned k = 0; k < list.item_count; ++k) {
          const ColourItem& item = list.items[k];
          const int dr = int(c >> 16) - item.red, dg = int(c >> 8 & 255) - item.green,
                    db = int(c & 255) - item.blue;
          data |= dr * dr + dg * dg + db * db <= item.distance * item.distance;
        }
        wrong += bitmap.pixel(i % plain.width, i / plain.width) != data;
      }
      EXPECT_EQ(wrong, 0);
    }
  }
}

// A census within random frames lists what the frame's pixels of the plain picture make: their
// values (numbered over the whole picture), or their main colours.
TEST(ColourSelection, FramedCensusCountsThePixelsThatTheFrameLetsThrough) {
  const char* const kinds[][2] = {
      {"png/netpbm_palette.png", "png/netpbm_palette.tga"},
      {"png/netpbm_grey2_interlaced.png", "png/levels.tga"},
      {"png/magick_interlaced.png", "png/magick_interlaced.tga"},
      {"png/matplotlib_antialiased.png", "png/matplotlib_antialiased.ppm"},
      {"png/magick_antialiased_interlaced.png", "png/matplotlib_antialiased.ppm"},
  };
  std::mt19937 random(18);
  for (const auto& kind : kinds) {
    const Pixels plain = plain_pixels(kind[1]);
    for (int round = 0; round < 6; ++round) {
      SCOPED_TRACE(std::string(kind[0]) + " round " + std::to_string(round));
      const PlotFrame frame = random_frame(random, plain.width, plain.height);
      const std::string path = CURVLOG_TEST_DATA "/" + std::string(kind[0]);
      ReaderOptions options;
      options.input_name = path.c_str();
      options.census = true;
      options.frame = &frame;
      Histogram values{};
      CensusColour colours[256] = {};
      ColourCounts counts;
      for (int i = 0; i < plain.width * plain.height; ++i) {
        if (!frame_counts(frame, i % plain.width, i / plain.width)) continue;
        const std::uint32_t c = plain.colour[std::size_t(i)];
        if (plain.value.empty()) {
          counts.add(c, 1);
          continue;
        }
        const auto v = std::size_t(plain.value[std::size_t(i)]);
        ++values.counts[v];
        colours[v] = {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)};
      }
      Ending expected, ending;
      const std::string text = printed_by([&] {
        expected = plain.value.empty() ? Ending{list_main_colours(counts, options)}
                                       : Ending{list_census(values, colours, 256, options)};
      });
      DataBitmap bitmap;
      EXPECT_EQ(printed_by([&] { ending = read_file(kind[0], options, bitmap); }), text);
      EXPECT_EQ(ending, expected);
    }
  }
}

// The grey plane of a graph run, by each way of selecting, holds each pixel's luminance with
// bit 0 clear.
TEST(ColourSelection, GreyPlaneHoldsEachPixelsLuminance) {
  const char* const kinds[][2] = {
      {"png/pillow_grey_alpha.png", "tga/pillow_grey_top_left.tga"},
      {"png/netpbm_grey2_interlaced.png", "png/levels.tga"},
      {"png/netpbm_palette.png", "png/netpbm_palette.tga"},
      {"png/magick_interlaced.png", "png/magick_interlaced.tga"},
      {"png/pillow_rgba.png", "png/pillow_rgba.tga"},
      {"png/magick_antialiased_interlaced.png", "png/matplotlib_antialiased.ppm"},
      {"jpeg/cjpeg_rgb_q75.jpg", "jpeg/cjpeg_rgb_q75.ppm"},
      {"jpeg/cjpeg_grey_q90.jpg", "jpeg/cjpeg_grey_q90.pgm"},
  };
  for (const auto& kind : kinds) {
    const Pixels plain = plain_pixels(kind[1]);
    for (const bool by_index : {false, true}) {
      SCOPED_TRACE(std::string(kind[0]) + (by_index ? " by index" : " by colour"));
      ColourList list;
      list.indices[0] = list.any_index = by_index;
      if (!by_index) list.items[list.item_count++] = {200, 40, 40, 60};
      std::vector<std::uint8_t> plane(plain.colour.size(), 1);
      ReaderOptions options;
      options.input_name = "g";
      options.selected = &list;
      options.grey_plane = plane.data();
      DataBitmap bitmap;
      Ending ending;
      printed_by([&] { ending = read_file(kind[0], options, bitmap); });
      if (by_index && plain.value.empty()) continue;  // refused: no index values
      ASSERT_FALSE(ending);
      int wrong = 0;
      for (std::size_t i = 0; i < plane.size(); ++i) {
        const std::uint32_t c = plain.colour[i];
        const unsigned luminance =
            (299 * (c >> 16) + 587 * (c >> 8 & 255) + 114 * (c & 255) + 500) / 1000;
        wrong += plane[i] != (luminance & 0xFE);
      }
      EXPECT_EQ(wrong, 0);
    }
  }
}

}  // namespace
}  // namespace curvlog
