#include "graph/overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/png.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace testing_support;

// The picture as the run keeps it, one character a pixel: '.' white, 'o' black, 'h' grey 128,
// '#' a data pixel (of grey 128).
const char* const kPicture[] = {
    "........",  //
    ".......#",  //
    "..##....",  //
    "h..##...",  //
    "........",  //
    "........",  //
    "..oo....",  //
};
// The overlay, one character a pixel: 'w' white, 'g' the darkest grey, 'h' a grey between,
// 'd' data, 'k' mask, 'a' area, 'm' mark. The area (1,1)-(6,5) lies over the masks (5,2)-(7,4)
// and (-3,5)-(2,9), which reaches out of the picture, and the marks (3 rows, the value's row
// rounded) over all.
const char* const kOverlay[] = {
    "wwwwwwmw",  // column 6's mark of row -1.4 reaches row 0
    "wamaaaad",  //
    "wammwkak",  //
    "hammmkak",  // column 4's mark of row 3.5 covers rows 3 to 5
    "wawmmkam",  //
    "kaaamaam",  //
    "wwkgwwwm",  // column 7's mark of row 5.49 covers rows 4 to 6
};
const double kNone = std::numeric_limits<double>::quiet_NaN();
const double kMarks[] = {kNone, kNone, 2.0, 2.6, 3.5, HUGE_VAL, -1.4, 5.49};

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "-";
}

struct Overlay {
  std::vector<std::uint8_t> plane;
  PixelBox area{1, 1, 6, 5};
  PixelBox masks[2] = {{5, 2, 7, 4}, {-3, 5, 2, 9}};
  OverlayPicture picture;

  Overlay() {
    for (const char* row : kPicture) {
      for (const char* p = row; *p != '\0'; ++p) {
        plane.push_back(*p == '.' ? 0xFE : *p == 'o' ? 0x00 : *p == 'h' ? 0x80 : 0x81);
      }
    }
    picture = {8, 7, plane.data(), kMarks, &area, masks, 2};
  }
};

// The file read back by the program's own decoder: every pixel as the letter of its colour,
// '?' for any other; the size must be the picture's.
std::vector<std::string> read_back(const std::string& path) {
  InputFile input;
  platform::ErrorCode error = 0;
  EXPECT_TRUE(input.open(path.c_str(), &error));
  std::uint8_t header[33];  // the signature and the IHDR chunk
  EXPECT_EQ(input.read(header, sizeof header), long(sizeof header));
  platform::PngDecoder decoder;
  EXPECT_EQ(decoder.start(byte_source(input), path.c_str(), header, sizeof header),
            platform::DecodeStatus::kOk);
  EXPECT_EQ(decoder.rows(), 7u);
  const struct {
    OverlayColour colour;
    char letter;
  } kLetters[] = {{kOverlayData, 'd'},
                  {kOverlayMask, 'k'},
                  {kOverlayArea, 'a'},
                  {kOverlayMark, 'm'},
                  {{kOverlayLightest, kOverlayLightest, kOverlayLightest}, 'w'},
                  {{kOverlayDarkest, kOverlayDarkest, kOverlayDarkest}, 'g'}};
  std::vector<std::string> letters(7, std::string(8, '?'));
  std::vector<std::uint8_t> row(decoder.row_bytes());
  for (std::uint32_t i = 0; i < decoder.rows(); ++i) {
    platform::RowPlace place;
    EXPECT_EQ(decoder.next_row(row.data(), &place), platform::DecodeStatus::kOk);
    if (place.y >= 7) break;
    EXPECT_EQ(place.count, 8u);
    for (std::uint32_t x = 0; x < place.count && x < 8; ++x) {
      const std::uint8_t* const c = decoder.pixels().palette[row[x]];
      const bool light_grey =
          c[0] == c[1] && c[1] == c[2] && c[0] > kOverlayDarkest && c[0] < kOverlayLightest;
      letters[place.y][x] = light_grey ? 'h' : '?';
      for (const auto& [colour, letter] : kLetters) {
        if (c[0] == colour.red && c[1] == colour.green && c[2] == colour.blue) {
          letters[place.y][x] = letter;
        }
      }
    }
  }
  EXPECT_EQ(decoder.finish(), platform::DecodeStatus::kOk);
  return letters;
}

TEST(Overlay, ShowsThePictureTheDataTheMarksAndTheBoxes) {
  const std::string path = unique_temp_path("curvlog_overlay") + ".png";
  const Overlay overlay;
  Ending ending;
  const std::string printed =
      printed_by([&] { ending = write_overlay({path.c_str()}, overlay.picture); });
  EXPECT_EQ(ending, ExitCode::kSuccess);
  EXPECT_EQ(printed, "File " + path + " created.\n\n");
  EXPECT_EQ(read_back(path), std::vector<std::string>(std::begin(kOverlay), std::end(kOverlay)));
  std::remove(path.c_str());
}

// The ways the overlay is refused or given up; none leaves a file of its own.
TEST(Overlay, NeverReplacesAFileAndLeavesNoneWhenGivenUp) {
  struct Case {
    const char* name;
    const char* existing;  // the file's bytes before the run, or null for none
    const char* folder;    // a folder that does not exist, or "" for the test directory
    bool cancelled;
    ExitCode code;
    const char* printed;  // "@": the file's name; a text ending in "(" is the start only
  };
  const Case cases[] = {
      {"exists", "keep", "", false, ExitCode::kOutputExists,
       "\nError: output file @ already exists\n\n"},
      {"cancelled", nullptr, "", true, ExitCode::kSuccess, ""},
      {"no folder", nullptr, "missing_folder/", false, ExitCode::kFileAccess,
       "\nError: unable to create output file @ ("},
  };
  const Overlay overlay;
  for (const Case& c : cases) {
    const std::string directory = unique_temp_path("curvlog_overlay") + "_";
    const std::string path = directory + c.folder + "check.png";
    if (c.existing != nullptr) std::ofstream(path, std::ios::binary) << c.existing;
    Ending ending;
    std::string printed;
    {
      std::optional<Cancelled> cancelled;
      if (c.cancelled) cancelled.emplace();
      printed = printed_by([&] { ending = write_overlay({path.c_str()}, overlay.picture); });
    }
    EXPECT_EQ(ending, c.code) << c.name;
    std::string expected = c.printed;
    if (const std::size_t at = expected.find('@'); at != std::string::npos) {
      expected.replace(at, 1, path);
    }
    if (!expected.empty() && expected.back() == '(') printed.resize(expected.size());
    EXPECT_EQ(printed, expected) << c.name;
    EXPECT_EQ(file_bytes(path), c.existing != nullptr ? c.existing : "-") << c.name;
    std::remove(path.c_str());
  }
}

}  // namespace
}  // namespace curvlog
