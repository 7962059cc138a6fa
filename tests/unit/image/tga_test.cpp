#include "image/tga.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "image/census.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace testing_support;

using Bytes = std::vector<std::uint8_t>;

// Header fields; the defaults are a valid 16 x 8 greyscale file stored top row first.
struct Fields {
  int id_length = 0, map_type = 0, image_type = 3, map_first = 0, map_length = 0, entry_size = 0;
  int x_origin = 0, y_origin = 0, width = 16, height = 8, bits = 8, descriptor = 0x20;
};

std::string px(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string tga(const Fields& f, const Bytes& body = {}) {
  std::string h;
  for (const int v : {f.id_length, f.map_type, f.image_type}) h += char(v);
  for (const int v : {f.map_first, f.map_length}) h += char(v & 0xFF), h += char(v >> 8);
  h += char(f.entry_size);
  for (const int v : {f.x_origin, f.y_origin, f.width, f.height}) {
    h += char(v & 0xFF), h += char(v >> 8);
  }
  return h + char(f.bits) + char(f.descriptor) + px(body);
}

std::string fault(const std::string& first_line) {
  return first_line + "g.tga is not a valid TGA file\n\n";
}
const std::string kUnsupported = "Error: unsupported TGA file format.\n\n";
const std::string kRle =
    "Error: the TGA file is run-length encoded (RLE) to reduce its size, but CURVLOG\n"
    "does not support RLE. Save the file without using the optional RLE.\n\n";
const std::string kNoIndex =
    "Error: the image has indexed colors, but the length of the color index is 0. Or\n"
    "g.tga is not a valid TGA file.\n\n";
const std::string kEarlyEnd = "\nError: unexpected end of file g.tga\n\n";
const std::string kGrey =
    "Error: no color index value specified, or grey pixel found in black&white\nfile g.tga\n\n";
std::string descriptor(int v) {
  return fault("Error: the TGA descriptor byte has to be 32 (hex: 20) instead of " +
               std::to_string(v) + ", or\n");
}
std::string census_bits(int v) {
  return "Error: to display used colors or greys the number of bits per pixel has to be 8\n"
         "instead of " +
         std::to_string(v) + ", or g.tga is not a valid TGA file\n\n";
}

// One file through the header stage and then the decode or the census, as the driver runs
// them. A file name starting with "@" is a fixture; anything else is the file's bytes.
struct Case {
  const char* name;
  std::string file;
  const char* option;  // the /T argument, "/T1,2" selecting 1 and 2
  bool census;
  std::optional<ExitCode> code;
  std::string text;
  Bytes bitmap;  // stride x height bytes
};

void check(const Case& c, ReaderOptions options = {}) {
  SCOPED_TRACE(c.name + c.file.substr(0, c.file[0] == '@' ? std::string::npos : 0));
  std::optional<TempInput> made;
  platform::InputFile fixture;
  platform::InputFile* input = &fixture;
  if (c.file[0] == '@') {
    platform::ErrorCode error = 0;
    ASSERT_TRUE(fixture.open((CURVLOG_TEST_DATA "/tga/" + c.file.substr(1)).c_str(), &error));
  } else {
    input = &made.emplace(c.file).file;
  }
  ColourTable selected{};
  for (const char* p = c.option + 2; *p != '\0'; p += *p == ',') {
    char* end = nullptr;
    selected[std::strtoul(p, &end, 10)] = true;
    p = end;
  }
  options.input_name = "g.tga";
  options.census = c.census;
  options.selected = c.option[2] != '\0' ? &selected : nullptr;
  TgaHeader header;
  DataBitmap bitmap;
  Ending code;
  EXPECT_EQ(printed_by([&] {
              code = tga_read_header(*input, false, header);
              if (!code && !tga_validate_header(header, options)) code = ExitCode::kInvalidContent;
              if (code) return;
              code = c.census ? run_colour_census(*input, header, options)
                              : tga_decode(*input, header, options, bitmap);
            }),
            c.text);
  EXPECT_EQ(code, c.code);
  const std::uint8_t* block = bitmap.pixels.get();
  EXPECT_EQ(Bytes(block, block + (block ? bitmap.stride * bitmap.height : 0)), c.bitmap);
}

// A colour-mapped header of one row of eight pixels.
Fields mapped(int length, int entry_size) {
  return {.map_type = 1,
          .image_type = 1,
          .map_length = length,
          .entry_size = entry_size,
          .width = 8,
          .height = 1};
}

TEST(TgaReader, ValidatesDecodesAndRefuses) {
  const ExitCode k6 = ExitCode::kInvalidContent;
  // clang-format off
  const Case cases[] = {
      {"short header", std::string(17, '\0'), "/T", false, ExitCode::kReadFailure,
       "Error: cannot read TGA file header\n\n", {}},
      {"bottom-left, X origin", tga({.x_origin = 5, .descriptor = 0}), "/T", false, k6, descriptor(0) +
       fault("Error: the origin of the X-coordinate has to be 0 instead of 5, or\n"), {}},
      {"RLE", tga({.image_type = 10}), "/T", false, k6, kUnsupported + kRle, {}},
      {"map entries of 8 bits", tga(mapped(3, 8)), "/T", false, k6, kUnsupported, {}},
      {"every other fault", tga({.map_type = 1, .image_type = 9, .map_first = 2, .entry_size = 24,
       .x_origin = 1, .y_origin = 65535, .width = 0, .height = 0, .bits = 16, .descriptor = 0x28}),
       "/T", true, k6, kUnsupported +
       fault("Error: the width of the graph has to be at least 1 instead of 0, or\n") +
       fault("Error: the height of the graph has to be at least 1 instead of 0, or\n") + kRle +
       descriptor(40) + fault("Error: the colormap start has to be 0 instead of 2, or\n") +
       fault("Error: the origin of the X-coordinate has to be 0 instead of 1, or\n") +
       fault("Error: the origin of the Y-coordinate has to be 0 instead of 65535, or\n") +
       kNoIndex + census_bits(16), {}},
      {"width 8, image ID of 255 bytes", tga({.id_length = 255, .width = 8, .height = 2}, Bytes(255, 9)) +
       px({0, 255, 0, 0, 255, 255, 255, 0, 255, 255, 255, 255, 255, 255, 255, 0}), "/T", false, {}, "", {0xB1, 1}},
      {"width 9", tga({.width = 9, .height = 2}, {255, 255, 255, 255, 255, 255, 255, 255, 0,
       0, 255, 255, 255, 255, 255, 255, 255, 255}), "/T", false, {}, "", {0x00, 0x80, 0x80, 0x00}},
      {"256 entries of 24 bits", tga(mapped(256, 24), Bytes(768, 9)) + px({9, 0, 9, 9, 255, 9, 9, 8}),
       "/T9", false, {}, "", {0xB6}},
      {"entries of 16 bits", tga(mapped(3, 16), {2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 2}), "/T2",
       false, {}, "", {0x81}},
      {"entries of 32 bits", tga(mapped(2, 32), {0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 255, 255}),
       "/T", false, {}, "", {0x60}},
      {"map past the end", tga(mapped(3, 24), Bytes(8, 0)), "/T", false, k6, kEarlyEnd, {}},
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

// The fixtures' curve, one data pixel per column, from first_column on; optionally the whole
// of column 0 as well.
Bytes curve(int first_column, bool column_0 = false) {
  const int rows[16] = {7, 6, 5, 4, 3, 3, 2, 1, 0, 0, 1, 2, 3, 4, 5, 6};
  Bytes bitmap(16, 0);
  for (int x = first_column; x < 16; ++x) bitmap[rows[x] * 2 + x / 8] |= 0x80 >> x % 8;
  for (int y = 0; column_0 && y < 8; ++y) bitmap[y * 2] |= 0x80;
  return bitmap;
}

TEST(TgaReader, FilesOfOtherEncoders) {
  const ExitCode k6 = ExitCode::kInvalidContent;
  // clang-format off
  const Case cases[] = {
      {"", "@magick_grey_top_left.tga", "/T", false, {}, "", curve(0)},
      {"", "@pillow_palette_top_left.tga", "/T1,2", false, {}, "", curve(1, true)},
      {"", "@magick_palette_top_left.tga", "/T0", false, {}, "", curve(1)},
      {"", "@magick_palette_top_left.tga", "/T", false, k6, kGrey, {}},
      {"", "@pillow_palette_top_left.tga", "/T", true, ExitCode::kSuccess,
       "\n  0  #FFFFFF         105   82.03%\n  1  #FF0000          15   11.72%\n"
       "  2  #0000FF           8    6.25%\n", {}},
      {"", "@netpbm_grey_default.tga", "/T", false, k6, kUnsupported + kRle + descriptor(0), {}},
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

// Decoding against the pixel-by-pixel description, in every classification step and both
// front to back and in two parts at once: random images of every width from 1 to 40 and some
// wider (some files larger than a 64 KiB input block), in black&white with a grey pixel or an
// early end somewhere (so in either part), with colour lists short and long (all but five
// values), and as 1-bit rows.
TEST(TgaReader, SpansDecodeAsPixelByPixel) {
  std::string most = "/T5";
  for (int v = 6; v < 256; ++v) most += "," + std::to_string(v);
  const std::string lists[] = {"/T", "/T7", "/T0,7,200", "/T1,2,3,4,5,6,7,8,9", most, "1-bit"};
  std::mt19937 random(1206);
  for (const int step : {0, 1, 2, 3}) {
    ReaderOptions options;  // each classification step front to back, then two parts
    options.widest_step = step < 3 ? ClassifyWidth(step) : ClassifyWidth::k256;
    options.two_part_minimum = step < 3 ? UINT64_MAX : 0;
    for (const std::string& list : lists) {
      const bool one_bit = list == "1-bit", bw = list == "/T";
      bool selected[256] = {};
      for (const char* p = list.c_str() + 2; !one_bit && *p != '\0'; p += *p == ',') {
        char* end = nullptr;
        selected[std::strtoul(p, &end, 10)] = true;
        p = end;
      }
      for (int w = 1; w <= 200; w += w < 40 ? 1 : 9) {  // the vector steps take 32 or 64
        const int stride = (w + 7) / 8, row = one_bit ? stride : w;
        const int h = w % 4 == 0 ? std::min(65535, 66000 / row) : 1 + int(random() % 40);
        Bytes body(std::size_t(row) * h);
        for (std::size_t i = 0, run = 0; i < body.size(); i += run) {  // runs, as in graphs
          run = std::min<std::size_t>(1 + random() % 200, body.size() - i);
          const std::uint8_t v = std::uint8_t(random());
          std::fill_n(body.begin() + i, run, bw ? v % 2 * 255 : v % 2 ? v % 10 : v);
        }
        std::size_t grey_at = body.size();
        if (bw && random() % 4) body[grey_at = random() % body.size()] = 1 + random() % 254;
        const std::size_t size = random() % 3 ? body.size() : random() % body.size();
        Bytes bitmap(std::size_t(stride) * h, 0);
        for (std::size_t i = 0; i < body.size(); ++i) {
          if (one_bit) bitmap[i] = std::uint8_t(~body[i]);
          if (!one_bit && (bw ? body[i] == 0 : selected[body[i]]))
            bitmap[i / w * stride + i % w / 8] |= std::uint8_t(0x80 >> i % w % 8);
        }
        const int id = int(random() % 64);  // an ID length of 64 would read as "@", a fixture
        Case c{"",
               tga({.id_length = id, .width = w, .height = h, .bits = one_bit ? 1 : 8}) +
                   std::string(id, 'i') + px(Bytes(body.begin(), body.begin() + size)),
               one_bit ? "/T" : list.c_str(),
               false,
               {},
               "",
               bitmap};
        if (grey_at < size || size < body.size()) {
          c.code = ExitCode::kInvalidContent, c.text = grey_at < size ? kGrey : kEarlyEnd;
          c.bitmap.clear();
        }
        SCOPED_TRACE(list.substr(0, 20) + " width " + std::to_string(w) + " step " +
                     std::to_string(step));
        check(c, options);
      }
    }
  }
}

TEST(TgaReader, VerboseHeaderAndCancellation) {
  platform::InputFile input;
  platform::ErrorCode error = 0;
  ASSERT_TRUE(input.open(CURVLOG_TEST_DATA "/tga/netpbm_cmap16.tga", &error));
  TgaHeader header;
  EXPECT_EQ(printed_by([&] { EXPECT_FALSE(tga_read_header(input, true, header)); }),
            "Bits per pixel: 8\nTGA image type: 1\nTGA color map: 1\nTGA descriptor byte: 0\n"
            "Image width: 16\nImage height: 8\n");
  EXPECT_EQ(header.colour_map_length, 3);
  EXPECT_EQ(input.read_byte(), 0x00);  // the first colour-map entry, after the image ID
  EXPECT_EQ(input.read_byte(), 0x7C);

  // The 8-bit decode polls before each pixel it reads, the 1-bit one after each byte: with no
  // pixel data at all, only the 8-bit one sees the cancellation. Front to back and in two parts.
  const Cancelled cancelled;
  for (const std::uint64_t minimum : {std::uint64_t(0), kTwoPartMinimum}) {
    ReaderOptions options;
    options.two_part_minimum = minimum;
    for (const int bits : {1, 8}) {
      check({"cancelled",
             tga({.bits = bits}, Bytes(128, 0)),
             "/T",
             false,
             ExitCode::kSuccess,
             "",
             {}},
            options);
      check({"cancelled, no pixels",
             tga({.bits = bits}),
             "/T",
             false,
             bits == 1 ? ExitCode::kInvalidContent : ExitCode::kSuccess,
             bits == 1 ? kEarlyEnd : "",
             {}},
            options);
    }
  }
}

}  // namespace
}  // namespace curvlog
