// The Windows file layer: block-buffered reads that look unbuffered, SetFilePointer skips,
// create-new output, and the GetLastError numbers that the messages print.

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "win32_test_support.h"

namespace curvlog::platform::win32 {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

TEST(Win32InputFile, RequestsSeeTheFileAsIfUnbuffered) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  const std::size_t size = 2 * kBlock + 3;
  ASSERT_TRUE(write_file(scratch / "in.bin", pattern(size)));
  InputFile input;
  ASSERT_TRUE(input.open((scratch / "in.bin").c_str(), nullptr));
  // A header request after a byte, then bytes across both block boundaries to the end.
  ASSERT_EQ(input.read_byte(), pattern_byte(0));
  char header[128];
  ASSERT_EQ(input.read(header, sizeof header), 128);
  EXPECT_EQ(std::string(header, 128), pattern(129).substr(1));
  std::size_t mismatches = 0;
  for (std::size_t i = 129; i < size; ++i) mismatches += input.read_byte() != pattern_byte(i);
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);
  EXPECT_EQ(input.read(header, sizeof header), 0);
}

TEST(Win32InputFile, SkipMovesForwardFromTheReadersPosition) {
  struct Case {
    const char* name;
    std::size_t file_size, bytes_read_first;
    std::uint32_t skip;
    long next_position;  // -1: the end of the file
  };
  const Case cases[] = {
      {"inside the buffer", 1000, 10, 500, 510},
      {"to the end of the buffer", 1000, 10, 990, -1},
      {"past the buffer", 3 * kBlock, 10, 100000, 100010},
      {"from the start", 3 * kBlock, 0, kBlock + 7, kBlock + 7},
      {"beyond the end", 1000, 10, 5000, -1},
      {"by more than 2^31", 1000, 1, 0xF0000000u, -1},
  };
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(write_file(scratch / "skip.bin", pattern(c.file_size)));
    InputFile input;
    ASSERT_TRUE(input.open((scratch / "skip.bin").c_str(), nullptr));
    for (std::size_t i = 0; i < c.bytes_read_first; ++i) input.read_byte();
    ASSERT_TRUE(input.skip(c.skip));
    EXPECT_EQ(input.read_byte(), c.next_position < 0 ? InputFile::kEndOfFile
                                                     : pattern_byte(std::size_t(c.next_position)));
  }
}

TEST(Win32Files, FailuresGiveTheSystemErrorNumber) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(CreateDirectoryA((scratch / "sub").c_str(), nullptr));
  ASSERT_TRUE(write_file(scratch / "old.prn", "kept"));
  struct Case {
    const char* path;
    ErrorCode open_error, create_error;
  };
  const Case cases[] = {
      {"missing.pcx", ERROR_FILE_NOT_FOUND, 0},
      {"nowhere\\x.pcx", ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
      {"sub", ERROR_ACCESS_DENIED, 0},    // a directory is no file
      {"old.prn", 0, ERROR_FILE_EXISTS},  // never overwritten
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    InputFile input;
    ErrorCode error = 0;
    EXPECT_EQ(input.open((scratch / c.path).c_str(), &error), c.open_error == 0);
    if (c.open_error != 0) {
      EXPECT_EQ(error, c.open_error);
    }
    OutputFile output;
    if (c.create_error == 0) continue;
    error = 0;
    EXPECT_FALSE(output.create_new((scratch / c.path).c_str(), &error));
    EXPECT_EQ(error, c.create_error);
  }
  EXPECT_EQ(read_file(scratch / "old.prn"), "kept");
  ErrorCode error = 0;
  EXPECT_FALSE(delete_file((scratch / "missing.pcx").c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32Files, OutputIsExclusiveAndUntranslatedInputIsShared) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string path = scratch / "CURVLOG.PRN";
  OutputFile output;
  ErrorCode error = 0;
  ASSERT_TRUE(output.create_new(path.c_str(), &error));
  EXPECT_EQ(output.write("    7       12.35\r\nx\n", 21, &error), 21);
  InputFile reader;
  EXPECT_FALSE(reader.open(path.c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_SHARING_VIOLATION));
  output.close();
  EXPECT_EQ(read_file(path), "    7       12.35\r\nx\n");

  InputFile first;
  InputFile second;
  ASSERT_TRUE(first.open(path.c_str(), nullptr));
  EXPECT_TRUE(second.open(path.c_str(), nullptr));
  EXPECT_FALSE(delete_file(path.c_str(), &error));  // shared for reading only
  first.close();
  second.close();
  EXPECT_TRUE(path_exists(path.c_str()));
  EXPECT_TRUE(path_exists(scratch.path().c_str()));
  EXPECT_TRUE(delete_file(path.c_str(), &error));
  EXPECT_FALSE(path_exists(path.c_str()));
}

}  // namespace
}  // namespace curvlog::platform::win32
