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

const std::string kEarlyEnd = "\nError: unexpected end of file g.tga\n\n";
const std::string kGrey =
    "Error: no color index value specified, or grey pixel found in black&white\nfile g.tga\n\n";

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
  InputFile fixture;
  InputFile* input = &fixture;
  if (c.file[0] == '@') {
    platform::ErrorCode error = 0;
    ASSERT_TRUE(fixture.open((CURVLOG_TEST_DATA "/tga/" + c.file.substr(1)).c_str(), &error));
  } else {
    input = &made.emplace(c.file).file;
  }
  ColourList selected;
  selected.any_index = true;
  for (const char* p = c.option + 2; *p != '\0'; p += *p == ',') {
    char* end = nullptr;
    selected.indices[std::strtoul(p, &end, 10)] = true;
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
              if (!code && options.grey_plane) mark_data_in_plane(bitmap, bitmap.height, options.grey_plane);
            }),
            c.text);
  EXPECT_EQ(code, c.code);
  const std::uint8_t* block = bitmap.pixels.get();
  EXPECT_EQ(Bytes(block, block + (block ? bitmap.stride * bitmap.height : 0)), c.bitmap);
}

// Decoding against the pixel-by-pixel description, in every classification step and both
// front to back and in two parts at once: random images of every width from 1 to 40 and some
// wider (some files larger than a 64 KiB input block), in black&white with a grey pixel or an
// early end somewhere (so in either part), with colour lists short and long (all but five
// values), and as 1-bit rows. The grey plane of a decoded picture holds each pixel's grey, and
// the data pixels marked.
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
        Bytes plane(std::size_t(w) * h, 1);
        options.grey_plane = plane.data();
        check(c, options);
        if (c.code) continue;
        Bytes greys(plane.size());
        for (std::size_t i = 0; i < greys.size(); ++i) {
          const std::uint8_t v =
              one_bit ? body[i / w * stride + i % w / 8] << i % w % 8 & 0x80 : body[i];
          const int data = c.bitmap[i / w * stride + i % w / 8] >> (7 - i % w % 8) & 1;
          greys[i] = std::uint8_t((one_bit ? (v ? 254 : 0) : v & 0xFE) | data);
        }
        EXPECT_EQ(plane, greys);
      }
    }
  }
}

// The grey of colour-mapped pixels is their map entry's luminance, in each kind of entry; a
// value beyond the map is white. The data pixel (1) is marked.
TEST(TgaReader, GreyPlaneHoldsTheLuminanceOfTheColourMapEntry) {
  const struct {
    int entry_size;
    Bytes map;  // red, green, a dark grey
  } maps[] = {{24, {0, 0, 255, 0, 255, 0, 3, 3, 3}},
              {32, {0, 0, 255, 9, 0, 255, 0, 9, 3, 3, 3, 9}},
              {16, {0x00, 0x7C, 0xE0, 0x03, 0x21, 0x04}}};  // 5-bit channels; 1 spreads to 8
  for (const auto& m : maps) {
    Bytes body = m.map;
    for (const std::uint8_t v : {0, 1, 2, 3}) body.push_back(v);
    const Case c{"map",
                 tga({.map_type = 1,
                      .image_type = 1,
                      .map_length = 3,
                      .entry_size = m.entry_size,
                      .width = 4,
                      .height = 1},
                     body),
                 "/T1",
                 false,
                 {},
                 "",
                 {0x40}};
    Bytes plane(4, 1);
    ReaderOptions options;
    options.grey_plane = plane.data();
    check(c, options);
    const std::uint8_t dark = m.entry_size == 16 ? 8 : 2;
    EXPECT_EQ(plane, Bytes({76, 151, dark, 254})) << m.entry_size;
  }
}

TEST(TgaReader, CancellationPollsBeforeAn8BitSpanAndAfterA1BitRead) {
  // The 8-bit decode polls before each pixel it reads, the 1-bit one after each byte; with no
  // pixel data at all the end of the file that the 1-bit one meets first is not reported after
  // a cancellation either (an interrupt may have ended the read). Front to back and in two parts.
  const Cancelled cancelled;
  for (const std::uint64_t minimum : {std::uint64_t(0), kTwoPartMinimum}) {
    ReaderOptions options;
    options.two_part_minimum = minimum;
    for (const int bits : {1, 8}) {
      for (const std::size_t pixels : {128, 0}) {
        check({"cancelled", tga({.bits = bits}, Bytes(pixels, 0)), "/T", false, ExitCode::kSuccess,
               "", {}},
              options);
      }
    }
  }
}

}  // namespace
}  // namespace curvlog
