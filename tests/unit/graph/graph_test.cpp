#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <optional>

#include "graph/column_scan.h"
#include "graph/prn_line.h"
#include "graph/prn_writer.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace testing_support;

namespace fs = std::filesystem;

// A picture is its rows of '#' (data) and '.' (background) joined by '|', all as wide as the
// first. Every bit past the width, in the last byte and in spare stride bytes, is set: none of
// them may ever count.
DataBitmap make_bitmap(const std::string& picture, std::uint32_t stride) {
  DataBitmap bitmap;
  bitmap.width =
      std::int32_t(picture.find('|') == std::string::npos ? picture.size() : picture.find('|'));
  const std::size_t pitch = std::size_t(bitmap.width) + 1;
  bitmap.height = std::int32_t((picture.size() + 1) / pitch);
  bitmap.stride = stride != 0 ? stride : (std::uint32_t(bitmap.width) + 7) / 8;
  bitmap.pixels.reset(
      static_cast<std::uint8_t*>(std::calloc(bitmap.stride, std::size_t(bitmap.height))));
  for (std::int32_t y = 0; y < bitmap.height; ++y) {
    for (std::int32_t x = 0; x < std::int32_t(bitmap.stride * 8); ++x) {
      if (x >= bitmap.width || picture[std::size_t(y) * pitch + std::size_t(x)] == '#') {
        bitmap.row(y)[x / 8] |= std::uint8_t(0x80 >> x % 8);
      }
    }
  }
  return bitmap;
}

std::string repeat(const char* row, int count) {
  std::string rows;
  for (int i = 0; i < count; ++i) rows += std::string(i != 0 ? "|" : "") + row;
  return rows;
}

class GraphRun : public testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        fs::path(testing::TempDir()) / ("curvlog_graph_" + std::to_string(std::random_device{}()));
    fs::create_directories(directory_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  fs::path directory_;
};

struct Case {
  const char* name;
  std::string picture;
  const char* file = "-";  // the PRN file's bytes; "-": no file
  bool crop = false;
  std::uint32_t stride = 0;
  char separator = 0;
  int verbose = 0;
  bool colour_list = false;
  int cancel_before = 0;  // stage 1 crop, 2 scan, 3 extremes, 4 writer
  ExitCode code = ExitCode::kSuccess;
  const char* printed = "\nFile @ created.\n\n";  // "@": the output name
};

// Range 100 to 0 throughout: with 11 rows, a column's value is ten times its height.
TEST_F(GraphRun, PictureBecomesPrnLinesOrEndsTheRun) {
  const std::string run = ".|.|#|#|#|#|.|.|.|.|.";  // the mean of rows 2..5 is height 6
  const std::string band = repeat("..", 20) + "|#.|" + repeat("..", 99) + "|.#|" + repeat("..", 29);
  const std::string wide =
      ".....#" + std::string(74, '.') + "|" + std::string(70, '.') + "#.........";
  const char* const no_data = "\nError: no data pixels found in file in.gfx\n\n";
  const ExitCode kBad = ExitCode::kInvalidContent;
  // clang-format off
  const Case cases[] = {
      {.name = "run", .picture = run, .file = "    1       60.00\r\n"},
      {.name = "gaps", .picture = ".|.|#|.|.|#|.|.|.|.|.", .file = "    1       60.00     2\r\n"},
      {.name = "touching", .picture = "..|..|..|..|#.|#.|#.|.#|.#|..|..",
       .file = "    1       60.00\r\n    2       20.00\r\n"},
      {.name = "apart", .picture = "..|..|..|..|#.|#.|#.|..|.#|.#|..",
       .file = "    1       60.00\r\n    2       10.00           1-2\r\n"},
      {.name = "after empty", .picture = ".#|" + repeat("..", 10), .file = "    2      100.00\r\n"},
      {.name = "peak", .picture = "...|...|.#.|.#.|.#.|#.#|#.#|...|...|...|...",
       .file = "    1       40.00\r\n    2       80.00\r\n    3       40.00\r\n"},
      {.name = "valley", .picture = "...|...|#.#|#.#|.#.|.#.|.#.|.#.|.#.|...|...",
       .file = "    1       80.00\r\n    2       20.00\r\n    3       80.00\r\n"},
      {.name = "wide", .picture = wide, .file = "    6      100.00\r\n   71        0.00\r\n"},
      // Reading past the one-byte rows would take row 1's pixel for column 9 of row 0.
      {.name = "narrow stride", .picture = "#.......#|#........", .file = "    1        0.00\r\n",
       .stride = 1},
      {.name = "crop band", .picture = band,
       .file = "    1      100.00\r\n    2        0.00           1-2\r\n", .crop = true},
      {.name = "crop from row 0", .picture = "#|#|.|#|.|.", .file = "    1       33.33     1\r\n",
       .crop = true},
      // Rows of two bytes whose data lies in the first: the crop must see it there.
      {.name = "crop wide rows",
       .picture = "..........|#.........|..........|.#........|..........",
       .file = "    1      100.00\r\n    2        0.00           1-2\r\n",
       .crop = true},
      {.name = "comma", .picture = run, .file = "    1       60,00\r\n", .separator = ','},
      {.name = "verbose", .picture = run, .file = "    1       60.00\r\n", .verbose = 4,
       .printed = "Statistics calculated.\n\nFile @ created.\n\n"},
      {.name = "no data", .picture = "..|..", .code = kBad, .printed = no_data},
      {.name = "no data, crop", .picture = "..|..", .crop = true, .code = kBad, .printed = no_data},
      {.name = "no listed colour", .picture = "..|..", .colour_list = true, .code = kBad,
       .printed = "\nError: no pixels (color index value(s): 12,40) found in file in.gfx\n\n"},
      {.name = "one row", .picture = "...|#.#|...", .crop = true, .code = kBad,
       .printed = "\nError: the graph in file in.gfx is only one pixel row high, so its values "
                  "cannot be scaled\n\n"},
      {.name = "cancel crop", .picture = run, .crop = true, .cancel_before = 1, .printed = ""},
      {.name = "cancel scan", .picture = run, .cancel_before = 2, .printed = ""},
      {.name = "cancel extremes", .picture = run, .cancel_before = 3, .printed = ""},
      {.name = "cancel writer", .picture = run, .verbose = 1, .cancel_before = 4, .printed = ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    const fs::path output = directory_ / (std::string(c.name) + ".prn");
    const ScanOptions scan{"in.gfx", c.colour_list ? "12,40" : nullptr};
    const std::string name = output.string();
    const PrnOptions prn{name.c_str(), c.verbose != 0, 100, 0, c.separator};
    DataBitmap bitmap = make_bitmap(c.picture, c.stride);
    std::int32_t height = bitmap.height;
    ColumnTable table;
    std::optional<Cancelled> cancelled;
    auto stage = [&](int number) {
      if (c.cancel_before == number) cancelled.emplace();
      return true;
    };
    Ending ending;
    const std::string printed = printed_by([&] {
      ending = stage(1) && c.crop ? crop_to_data(bitmap, height) : kGoOn;
      if (!ending && stage(2)) ending = scan_columns(bitmap, height, scan, table);
      if (!ending && stage(3)) ending = mark_extremes(table, height);
      if (!ending && stage(4)) ending = write_prn_file(table, height, prn);
    });
    cancelled.reset();

    EXPECT_EQ(ending, c.code) << c.name;
    std::string expected = c.printed;
    if (const std::size_t at = expected.find('@'); at != std::string::npos) {
      expected.replace(at, 1, name);
    }
    EXPECT_EQ(printed, expected) << c.name;
    std::ifstream written(output, std::ios::binary);
    EXPECT_EQ(written ? std::string(std::istreambuf_iterator<char>(written), {}) : "-", c.file)
        << c.name;
    EXPECT_EQ(bitmap.pixels, nullptr) << c.name;
    EXPECT_EQ(table.records, nullptr) << c.name;
  }
}

TEST(PrnLine, BuildsTheFourFormsByteForByte) {
  struct Case {
    ColumnRecord record;  // pixels, gaps, jump from, jump to, then unused fields
    std::uint32_t column;
    bool jump_shown;
    double value;
    const char* line;  // nullptr: too long for a line
  };
  const Case cases[] = {
      {{1, 0, 0, 0, 0, 4, 0, 0}, 7, false, 12.3456, "    7       12.35\r\n"},
      {{1, 2, 0, 0, 0, 4, 0, 0}, 8, false, -3.5, "    8       -3.50     2\r\n"},
      {{1, 0, 8, 9, 0, 4, 0, 0}, 9, true, 100.0001, "    9      100.00           8-9\r\n"},
      {{1, 1, 9, 10, 0, 4, 0, 0}, 10, true, 99.5, "   10       99.50     1     9-10\r\n"},
      {{1, 123456, 1234567, 1234568, 0, 4, 0, 0},
       1234567,
       true,
       -12345678901.25,
       "1234567 -12345678901.25 123456 1234567-1234568\r\n"},
      {{1, 0, 0, 0, 0, 4, 0, 0}, 1, false, std::ldexp(1.0, 226), nullptr},  // 69 digits: 80 bytes
  };
  for (const Case& c : cases) {
    for (const char separator : {'\0', ','}) {
      char line[kPrnLineCapacity];
      const int length =
          format_prn_line(c.record, c.column, c.jump_shown, c.value, separator, line);
      std::string expected = c.line != nullptr ? c.line : "";
      if (separator != 0 && !expected.empty()) expected[expected.rfind('.')] = separator;
      EXPECT_EQ(length, c.line != nullptr ? int(expected.size()) : -1) << c.column;
      EXPECT_EQ(std::string(line), expected) << c.column;
    }
  }
  // 68 digits: the longest line, 79 bytes with its CR LF.
  char line[kPrnLineCapacity];
  EXPECT_EQ(format_prn_line({1, 0, 0, 0, 0, 4, 0, 0}, 1, false, std::ldexp(1.0, 223), ',', line),
            79);
}

// The lines put together by hand against printf's, for values of every magnitude, many of them
// on or next to a half of a hundredth.
TEST(PrnLine, MatchesPrintfForAnyValue) {
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 100000; ++i) {
    double value = std::ldexp(double(random() >> 11), int(random() % 110) - 100);
    if (i % 2 == 0) value = std::round(value * 200) / 200 + (i % 4 == 0 ? 0 : 1e-12);
    if (random() % 2 == 0) value = -value;
    const std::uint32_t gaps = random() % 2 * std::uint32_t(random() % 100000);
    const bool jump = random() % 2 == 0;
    const ColumnRecord record{1, gaps, 41, 42, 0, 4, 0, 0};
    const char separator = random() % 2 == 0 ? ',' : '\0';
    char expected[200];
    const int length =
        jump ? std::snprintf(expected, sizeof expected,
                             gaps != 0 ? "%5d %11.2lf %5lu %5lu-%lu" : "%5d %11.2lf       %5lu-%lu",
                             42, value, gaps != 0 ? gaps : 41lu, gaps != 0 ? 41lu : 42lu, 42lu)
             : std::snprintf(expected, sizeof expected,
                             gaps != 0 ? "%5d %11.2lf %5lu" : "%5d %11.2lf", 42, value,
                             (unsigned long)gaps);
    if (separator != 0) *std::strrchr(expected, '.') = separator;
    char line[kPrnLineCapacity];
    ASSERT_EQ(format_prn_line(record, 42, jump, value, separator, line),
              length < 78 ? length + 2 : -1);
    ASSERT_EQ(line, length < 78 ? std::string(expected) + "\r\n" : "") << value;
  }
}

}  // namespace
}  // namespace curvlog
