#include <gtest/gtest.h>

#include <algorithm>
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
#include <vector>

#include <optional>

#include "graph/column_scan.h"
#include "graph/csv_writer.h"
#include "graph/overlay.h"
#include "graph/plot_area.h"
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
      // Rows of 138 bytes: data right after a blank stretch of 64 bytes, and in the last byte.
      {.name = "very wide",
       .picture = std::string(515, '.') + "#" + std::string(584, '.') + "|" +
                  std::string(1090, '.') + "#.........",
       .file = "  516      100.00\r\n 1091        0.00\r\n"},
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
    std::int32_t height = bitmap.height, band_top = 0;
    ColumnTable table;
    std::optional<Cancelled> cancelled;
    auto stage = [&](int number) {
      if (c.cancel_before == number) cancelled.emplace();
      return true;
    };
    Ending ending;
    const std::string printed = printed_by([&] {
      ending = stage(1) && c.crop ? crop_to_data(bitmap, height, band_top) : kGoOn;
      if (!ending && stage(2)) ending = scan_columns(bitmap, height, scan, table);
      if (!ending && stage(3)) ending = mark_extremes(table);
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

// Random bitmaps through each frame (area and masks: clipped, partial bytes at the edges, one
// column) and each scale: every data pixel that stays must be one inside the area and outside
// the masks, and each CSV line and overlay mark must give its column's exact mean data row,
// through high and low (over the area, or /C's band within it) or through /Y, x through /X.
TEST_F(GraphRun, FrameAndCsvMatchThePlainRule) {
  const PixelBox frames[][3] = {{{0, 0, -1, -1}},
                                {{0, 0, -1, -1}, {3, 2, 12, 5}, {-4, -4, 2, 40}},
                                {{1, 1, 35, 17}},
                                {{-3, -2, 40, 9}, {8, 0, 15, 30}, {20, 4, 20, 4}},
                                {{9, 4, 9, 20}, {0, 6, 40, 6}}};
  const AxisScale linear{{2.5, 30}, {-4, 7e5}}, log{{-1, 12}, {0.5, 4e3}, true};
  const auto near = [](double a, double b) {
    return std::fabs(a - b) <= 1e-8 * (1 + std::fabs(b));
  };
  std::mt19937 random(20261207);
  for (int run = 0; run < 40; ++run) {
    const PixelBox* boxes = frames[run % 5];
    const int scale = run / 5 % 4;  // high and low, the same with /C, /Y and /X linear, log
    const AxisScale* scales = scale < 2 ? nullptr : scale == 2 ? &linear : &log;
    const PlotFrame frame{!boxes[0].empty(), boxes[0], {boxes[1], boxes[2]}, 2};
    std::string picture;
    for (int i = 0; i < 23 * 38 - 1; ++i) picture += i % 38 == 37 ? '|' : ".#"[random() % 4 == 0];
    DataBitmap bitmap = make_bitmap(picture, 6);
    std::int32_t offset = 0, height = 0, band = 0;
    ASSERT_FALSE(apply_frame(frame, bitmap, offset, height));
    const PixelBox area = frame.has_area ? frame.area.clipped(37, 23) : PixelBox{0, 0, 36, 22};
    std::vector<int> sum(37), count(37), first(37), last(37);
    int top = 99, bottom = 0;
    for (int y = area.top; y <= area.bottom; ++y) {
      for (int x = 0; x < 37; ++x) {
        const bool data = picture[std::size_t(y * 38 + x)] == '#' && area.holds(x, y) &&
                          !frame.masks[0].holds(x, y) && !frame.masks[1].holds(x, y);
        ASSERT_EQ(bitmap.pixel(x, y - offset), data) << run << ": " << x << "," << y;
        if (!data) continue;
        if (count[x]++ == 0) first[x] = y;
        sum[x] += y, last[x] = y, top = std::min(top, y), bottom = y;
      }
    }
    ASSERT_FALSE(scale == 1 ? crop_to_data(bitmap, height, band) : kGoOn);
    const double base = scale == 1 ? bottom : area.bottom,
                 span = base - (scale == 1 ? top : area.top);
    ColumnTable table;
    ASSERT_FALSE(scan_columns(bitmap, height, {"in", nullptr, scales != nullptr}, table));
    std::vector<double> marks(37);
    fill_mark_rows(table, height, offset, band, true, marks.data());
    const std::string name = (directory_ / ("run" + std::to_string(run) + ".csv")).string();
    const CsvOptions csv{.output_name = name.c_str(),
                         .high = 50,
                         .low = -10,
                         .decimal_separator = scale == 1 ? ',' : '\0',
                         .rows = scales,
                         .row_offset = offset,
                         .columns = scales};
    printed_by([&] { EXPECT_EQ(write_csv_file(table, height, csv), ExitCode::kSuccess); });
    std::ifstream file(name);
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line, scale == 1 ? "x;y;holes;jump" : "x,y,holes,jump");
    for (int x = 0; x < 37; ++x) {
      const double mean = double(sum[x]) / count[x];
      EXPECT_TRUE(count[x] == 0 ? std::isnan(marks[x]) : near(marks[x], mean)) << run << ": " << x;
      if (count[x] == 0) continue;
      ASSERT_TRUE(std::getline(file, line)) << run;
      for (char& c : line) c = scale != 1 ? c : c == ',' ? '.' : c == ';' ? ',' : c;
      double column = 0, value = 0;
      int holes = 0, jump = 0;
      ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%d,%d", &column, &value, &holes, &jump), 4);
      EXPECT_TRUE(near(column, scales ? scales->at(x) : x)) << run << ": " << line;
      EXPECT_TRUE(near(value, scales ? scales->at(mean) : (base - mean) / span * 60 - 10))
          << run << ": " << line;
      EXPECT_EQ(holes, last[x] - first[x] + 1 - count[x]) << run << ": " << line;
      EXPECT_EQ(jump, x > 0 && count[x - 1] != 0 &&
                          (first[x] > last[x - 1] + 1 || last[x] + 1 < first[x - 1]))
          << run << ": " << line;
    }
    EXPECT_FALSE(std::getline(file, line)) << run << ": " << line;
  }
}

// Every row of the picture, the last included, must have a value below 1e48.
TEST(PrnLine, RowValuesMustFitTheLine) {
  const AxisScale linear{{0, 10}, {0, -1e47}}, log{{0, 1}, {1, 10}, true};
  const char* const message =
      "\nError: the values that /Y gives the rows of the picture reach %s, beyond what a PRN line "
      "holds\n\n";
  const std::string printed = printed_by([&] {
    EXPECT_EQ(check_row_values(linear, 100), kGoOn);
    EXPECT_EQ(check_row_values(linear, 101), ExitCode::kCommandLine);
    EXPECT_EQ(check_row_values(log, 48), kGoOn);
    EXPECT_EQ(check_row_values(log, 49), ExitCode::kCommandLine);
  });
  char expected[400];
  std::snprintf(expected, sizeof expected, (std::string(message) + message).c_str(), "-1e+48",
                "1e+48");
  EXPECT_EQ(printed, expected);
}

// A peak is valued by its top row and its lower neighbours by their bottom rows (B), a column
// on a slope by its mean (M), while every record keeps its column's true count and sum.
TEST(ColumnScan, ExtremesKeepTheirCountsAndSums) {
  DataBitmap bitmap = make_bitmap("....|....|.#..|.##.|.##.|#.#.|#.#.|...#|...#|....|....", 0);
  ColumnTable table;
  ASSERT_FALSE(scan_columns(bitmap, 11, ScanOptions{}, table));
  ASSERT_FALSE(mark_extremes(table));
  std::string records;
  for (int x = 0; x < table.width; ++x) {
    const ColumnRecord& r = table.records[x];
    records += std::to_string(r.pixel_count) + "/" + std::to_string(r.height_sum) +
               "MTB"[int(r.valued_by)] + " ";
  }
  EXPECT_EQ(records, "2/9B 3/21T 4/22M 2/5B ");
}

// The lines put together field by field against the standard formatter's, in all four forms:
// values of every magnitude (many on or next to a half of a hundredth, some too long for a
// line, infinite and undefined ones) and fields of every width.
TEST(PrnLine, MatchesTheStandardFormatter) {
  std::mt19937_64 random(20261206);
  const auto field = [&] { return std::uint32_t(random() % 2 ? random() % 100 : random() >> 33); };
  // Not a number never reaches a PRN line, and the systems' printf spell its sign differently.
  const double specials[] = {HUGE_VAL, -HUGE_VAL, 0.0, -0.0, 0.005, 0.015, 1e-300};
  for (int i = 0; i < 100000; ++i) {
    double value = std::ldexp(double(random() >> 11), int(random() % 340) - 100);
    if (i % 2 == 0) value = std::round(value * 200) / 200 + (i % 4 == 0 ? 0 : 1e-12);
    if (i < int(std::size(specials))) value = specials[i];
    if (random() % 2 == 0) value = -value;
    const std::uint32_t gap_count = random() % 2 ? field() : 0;
    const std::uint32_t column = 1 + field();
    const unsigned long gaps = gap_count, from = column - 1, to = column;
    const bool jump = random() % 2 == 0;
    const char separator = random() % 2 == 0 ? ',' : '\0';
    char expected[400];
    if (jump && gaps != 0) {
      std::snprintf(expected, sizeof expected, "%5d %11.2lf %5lu %5lu-%lu", int(column), value,
                    gaps, from, to);
    } else if (jump) {
      std::snprintf(expected, sizeof expected, "%5d %11.2lf       %5lu-%lu", int(column), value,
                    from, to);
    } else if (gaps != 0) {
      std::snprintf(expected, sizeof expected, "%5d %11.2lf %5lu", int(column), value, gaps);
    } else {
      std::snprintf(expected, sizeof expected, "%5d %11.2lf", int(column), value);
    }
    if (char* point = std::strrchr(expected, '.'); point != nullptr && separator != 0) {
      *point = separator;
    }
    const std::string line_end = std::string(expected) + "\r\n";
    const bool fits = line_end.size() < kPrnLineCapacity;
    char line[kPrnLineCapacity];
    ASSERT_EQ(format_prn_line(column, value, gap_count, jump, separator, line),
              fits ? int(line_end.size()) : -1);
    ASSERT_EQ(line, fits ? line_end : "") << value;
  }
  // 68 digits give the longest line, 79 bytes with its CR LF; 69 digits do not fit.
  char line[kPrnLineCapacity];
  EXPECT_EQ(format_prn_line(1, std::ldexp(1.0, 223), 0, false, ',', line), 79);
  EXPECT_EQ(format_prn_line(1, std::ldexp(1.0, 226), 0, false, ',', line), -1);
}

}  // namespace
}  // namespace curvlog
