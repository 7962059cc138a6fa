#include "image/pcx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image/data_bitmap.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace std::string_literals;
using namespace testing_support;

TEST(PcxRows, FillsRowsInvertedAndReadsNoFurther) {
  struct Case {
    std::uint32_t stride;
    std::int32_t height;
    std::string data;
    Ending ending;
    std::string rows;  // the bitmap after decoding, or the message when the decode fails
    int next;          // the file's next byte afterwards
  };
  const int kEnd = InputFile::kEndOfFile;
  const std::string kEof = "\nError: unexpected end of file g.pcx\n\n";
  const Case cases[] = {
      // Two of the four repeats are dropped at the row end.
      {2, 2, "\xC4\x00\xC2\xFF\x77"s, kGoOn, "\xFF\xFF\x00\x00"s, 0x77},
      // 0xC0 is a literal; only 0xC1 and above start runs.
      {3, 1, "\xC0\xC1\x05\xBF", kGoOn, "\x3F\xFA\x40", kEnd},
      {3, 2, "\x01\xC5\x10\x22\x33\x44\x55", kGoOn, "\xFE\xEF\xEF\xDD\xCC\xBB", 0x55},
      {65, 1, "\xFF\x0F\xC3\x0F", kGoOn, std::string(65, '\xF0'), kEnd},
      {2, 1, "\x01\xC3", ExitCode::kInvalidContent, kEof, kEnd},
      {1, 2, "\x01", ExitCode::kInvalidContent, kEof, kEnd},
      // A run code as the last byte of the first 64 KiB input block: its value is in the next.
      {65538, 1, std::string(65535, '\0') + "\xC3\x0F", kGoOn,
       std::string(65535, '\xFF') + "\xF0\xF0\xF0", kEnd},
      {65538, 1, std::string(65535, '\0') + "\xC3", ExitCode::kInvalidContent, kEof, kEnd},
  };
  for (const Case& c : cases) {
    TempInput input(c.data);
    // One guard row more than is decoded: it must stay zero.
    DataBitmap bitmap;
    ASSERT_EQ(allocate_data_bitmap(8, c.height + 1, c.stride, bitmap), kGoOn);
    bitmap.height = c.height;
    testing::internal::CaptureStdout();
    EXPECT_EQ(pcx_decode_rows(input.file, "g.pcx", bitmap), c.ending) << c.stride;
    const std::string text = testing::internal::GetCapturedStdout();
    const char* pixels = reinterpret_cast<const char*>(bitmap.pixels.get());
    EXPECT_EQ(c.ending ? text : std::string(pixels, c.stride * c.height), c.rows) << c.stride;
    EXPECT_EQ(std::string(pixels + c.stride * c.height, c.stride), std::string(c.stride, '\0'));
    EXPECT_EQ(input.file.read_byte(), c.next) << c.stride;
  }
}

TEST(PcxRows, CancellationEndsSilently) {
  TempInput input("\x00"s);
  DataBitmap bitmap;
  const Cancelled cancelled;
  EXPECT_EQ(printed_by([&] {
              EXPECT_EQ(pcx_decode(input.file, PcxHeader{}, 8, 1, "g.pcx", bitmap),
                        ExitCode::kSuccess);
              EXPECT_FALSE(bitmap.pixels);  // nothing allocated
              ASSERT_EQ(allocate_data_bitmap(8, 1, 1, bitmap), kGoOn);
              EXPECT_EQ(pcx_decode_rows(input.file, "g.pcx", bitmap), ExitCode::kSuccess);
            }),
            "");
}

TEST(DataBitmap, BlockBeyond32BitsIsRefused) {
  const std::uint32_t cases[][2] = {{65536, 65536}, {0xFFFFFFFFu, 0x7FFFFFFF}};
  for (const auto& [stride, height] : cases) {
    DataBitmap bitmap;
    testing::internal::CaptureStdout();
    EXPECT_EQ(allocate_data_bitmap(1, std::int32_t(height), stride, bitmap),
              ExitCode::kOutOfMemory);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: unable to allocate memory to store the bitmap\n\n");
    EXPECT_FALSE(bitmap.pixels);
  }
}

#ifdef __linux__
// Reading the process's own memory at offset 0 (never mapped) fails with EIO (5).
TEST(PcxReader, ReadFailuresReportTheSystemError) {
  InputFile input;
  platform::ErrorCode error = 0;
  if (!input.open("/proc/self/mem", &error)) GTEST_SKIP() << "no /proc/self/mem";
  DataBitmap bitmap;
  ASSERT_EQ(allocate_data_bitmap(8, 1, 1, bitmap), kGoOn);
  EXPECT_EQ(printed_by([&] {
              EXPECT_EQ(pcx_decode_rows(input, "g.pcx", bitmap), ExitCode::kReadFailure);
            }),
            "\nError: cannot read file g.pcx (5)\n\n");
}
#endif

}  // namespace
}  // namespace curvlog
