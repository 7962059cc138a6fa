// The system's JPEG decoder against the rows that libjpeg's own command-line decoder gave for
// the same files (stored beside them as PGM and PPM files, see tests/data/jpeg/README.txt).
// The decoder is handed the file's first bytes as taken already, and must go on seamlessly
// from the input.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/input_file.h"
#include "platform/jpeg.h"

namespace curvlog::platform {
namespace {

struct Pnm {
  unsigned channels = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> samples;
};

Pnm read_pnm(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  unsigned maxval = 0;
  Pnm pnm;
  file >> magic >> pnm.width >> pnm.height >> maxval;
  file.get();
  pnm.channels = magic == "P6" ? 3 : 1;
  pnm.samples.assign(std::istreambuf_iterator<char>(file), {});
  return pnm;
}

struct Fixture {
  const char* jpeg;
  const char* expected;
  bool exact_everywhere;  // the Windows decoder may upsample colour differently
};

const Fixture kFixtures[] = {
    {"cjpeg_grey_q90.jpg", "cjpeg_grey_q90.pgm", true},
    {"cjpeg_grey_progressive_q75.jpg", "cjpeg_grey_progressive_q75.pgm", true},
    {"cjpeg_blocks_progressive.jpg", "blocks.pgm", true},
    {"cjpeg_rgb_q75.jpg", "cjpeg_rgb_q75.ppm", false},
    {"cjpeg_rgb_progressive_q90.jpg", "cjpeg_rgb_progressive_q90.ppm", false},
    {"pillow_rgb_q90.jpg", "pillow_rgb_q90.ppm", false},
};

// Starts on the file, its first `taken` bytes handed over as the header.
void start(const std::string& path, std::size_t taken, curvlog::InputFile& input, JpegDecoder& decoder) {
  ErrorCode error = 0;
  ASSERT_TRUE(input.open(path.c_str(), &error));
  std::vector<std::uint8_t> header(taken);
  ASSERT_EQ(input.read(header.data(), taken), long(taken));
  ASSERT_EQ(decoder.start(curvlog::byte_source(input), path.c_str(), header.data(), taken),
            DecodeStatus::kOk);
}

// Every row, then the end of the file.
std::vector<std::uint8_t> read_rows(JpegDecoder& decoder) {
  std::vector<std::uint8_t> samples(decoder.row_bytes() * decoder.rows());
  for (std::uint32_t y = 0; y < decoder.rows(); ++y) {
    RowPlace place;
    EXPECT_EQ(decoder.next_row(samples.data() + y * decoder.row_bytes(), &place),
              DecodeStatus::kOk);
    EXPECT_EQ(place.y, y);
    EXPECT_EQ(place.count * decoder.pixels().channels, decoder.row_bytes());
  }
  EXPECT_EQ(decoder.finish(), DecodeStatus::kOk);
  return samples;
}

TEST(JpegDecoder, RowsAreThoseOfTheReferenceDecoder) {
  for (const Fixture& fixture : kFixtures) {
    SCOPED_TRACE(fixture.jpeg);
    const std::string directory = CURVLOG_TEST_DATA "/jpeg/";
    const Pnm expected = read_pnm(directory + fixture.expected);
    for (std::size_t taken : {std::size_t{3}, std::size_t{200}}) {
      curvlog::InputFile input;
      JpegDecoder decoder;
      start(directory + fixture.jpeg, taken, input, decoder);
      const std::vector<std::uint8_t> samples = read_rows(decoder);
      ASSERT_EQ(decoder.pixels().channels, expected.channels);
      ASSERT_EQ(decoder.pixels().bits, 8u);
      ASSERT_EQ(decoder.rows(), expected.height);
      ASSERT_EQ(samples.size(), expected.samples.size());
#if defined(_WIN32)
      if (!fixture.exact_everywhere) {
        // The same picture: every sample within the chroma upsampling's reach, most close.
        long total = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
          const int difference = std::abs(int{samples[i]} - int{expected.samples[i]});
          EXPECT_LE(difference, 64) << "at sample " << i;
          total += difference;
        }
        EXPECT_LE(total / long(samples.size()), 4);
        continue;
      }
#endif
      EXPECT_TRUE(samples == expected.samples);
    }
  }
}

// A second pass over the picture gives its rows again.
TEST(JpegDecoder, RestartDeliversTheSameRows) {
  const std::string path = CURVLOG_TEST_DATA "/jpeg/cjpeg_rgb_progressive_q90.jpg";
  curvlog::InputFile input;
  JpegDecoder decoder;
  start(path, 3, input, decoder);
  const std::vector<std::uint8_t> first = read_rows(decoder);
  ASSERT_EQ(decoder.restart(), DecodeStatus::kOk);
  EXPECT_TRUE(read_rows(decoder) == first);
}

}  // namespace
}  // namespace curvlog::platform
