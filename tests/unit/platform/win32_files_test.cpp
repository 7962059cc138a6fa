// The Windows file layer: block-buffered reads that look unbuffered, SetFilePointer skips,
// create-new output, and the GetLastError numbers that the messages print.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32.h"
#include "win32_test_support.h"

namespace curvlog::platform::win32 {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

TEST(Win32InputFile, ByteRequestsCrossBlockBoundariesAndEndAtTheLastByte) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  const std::size_t size = 2 * kBlock + 3;
  ASSERT_TRUE(write_whole_file(scratch / "in.bin", pattern(size)));
  InputFile input;
  ASSERT_TRUE(input.open((scratch / "in.bin").c_str(), nullptr));
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < size; ++i) mismatches += input.read_byte() != pattern_byte(i);
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);
  EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);
}

TEST(Win32InputFile, ReadRequestsContinueWhereByteRequestsStopped) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(write_whole_file(scratch / "in.bin", pattern(kBlock + 100)));
  InputFile input;
  ASSERT_TRUE(input.open((scratch / "in.bin").c_str(), nullptr));
  EXPECT_EQ(input.read_byte(), pattern_byte(0));
  unsigned char header[128];
  ASSERT_EQ(input.read(header, sizeof header), 128);
  EXPECT_EQ(std::memcmp(header, pattern(129).data() + 1, 128), 0);
  // A request that reaches past the end delivers what there is.
  static unsigned char rest[kBlock];
  EXPECT_EQ(input.read(rest, sizeof rest), static_cast<long>(kBlock + 100 - 129));
  EXPECT_EQ(rest[0], pattern_byte(129));
  EXPECT_EQ(input.read(rest, 1), 0);
}

struct SkipCase {
  const char* name;
  std::size_t file_size;
  std::size_t bytes_read_first;  // so that part of a block is buffered
  std::uint32_t skip;
  long expected_position;  // of the next byte; -1 for the end of the file
};

TEST(Win32InputFile, SkipMovesForwardFromTheReadersPosition) {
  const SkipCase cases[] = {
      {"inside the buffer", 1000, 10, 500, 510},
      {"to the end of the buffer", 1000, 10, 990, -1},
      {"past the buffer (SetFilePointer)", 3 * kBlock, 10, 100000, 100010},
      {"from the start of the file", 3 * kBlock, 0, kBlock + 7, kBlock + 7},
      {"nothing", 1000, 3, 0, 3},
      {"beyond the end is no failure", 1000, 10, 5000, -1},
      {"by more than 2^31", 1000, 1, 0xF0000000u, -1},
  };
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(write_whole_file(scratch / "skip.bin", pattern(c.file_size)));
    InputFile input;
    ASSERT_TRUE(input.open((scratch / "skip.bin").c_str(), nullptr));
    for (std::size_t i = 0; i < c.bytes_read_first; ++i)
      ASSERT_EQ(input.read_byte(), pattern_byte(i));
    ASSERT_TRUE(input.skip(c.skip));
    const int expected = c.expected_position < 0
                             ? InputFile::kEndOfFile
                             : pattern_byte(static_cast<std::size_t>(c.expected_position));
    EXPECT_EQ(input.read_byte(), expected);
  }
}

struct OpenFailure {
  const char* name;
  const char* relative_path;
  ErrorCode expected;
};

TEST(Win32InputFile, FailedOpensGiveTheSystemErrorNumber) {
  const OpenFailure cases[] = {
      {"missing file", "missing.pcx", ERROR_FILE_NOT_FOUND},
      {"missing directory", "nowhere\\graph.pcx", ERROR_PATH_NOT_FOUND},
      {"a directory", "sub", ERROR_ACCESS_DENIED},
  };
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(CreateDirectoryA((scratch / "sub").c_str(), nullptr));
  for (const OpenFailure& c : cases) {
    SCOPED_TRACE(c.name);
    InputFile input;
    ErrorCode error = 0;
    EXPECT_FALSE(input.open((scratch / c.relative_path).c_str(), &error));
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(input.error(), c.expected);
    EXPECT_FALSE(input.is_open());
  }
}

TEST(Win32Files, InputIsSharedForReadingAndOutputIsNotShared) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(write_whole_file(scratch / "in.pcx", "abc"));
  InputFile first;
  InputFile second;
  ASSERT_TRUE(first.open((scratch / "in.pcx").c_str(), nullptr));
  EXPECT_TRUE(second.open((scratch / "in.pcx").c_str(), nullptr));

  OutputFile output;
  ASSERT_TRUE(output.create_new((scratch / "out.prn").c_str(), nullptr));
  InputFile reader;
  ErrorCode error = 0;
  EXPECT_FALSE(reader.open((scratch / "out.prn").c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_SHARING_VIOLATION));
}

TEST(Win32OutputFile, WritesBytesUnchangedAndNeverOverwrites) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  const std::string path = scratch / "CURVLOG.PRN";
  {
    OutputFile output;
    ErrorCode error = 0;
    ASSERT_TRUE(output.create_new(path.c_str(), &error));
    EXPECT_EQ(output.write("    7       12.35\r\n", 19, &error), 19);
    EXPECT_EQ(output.write("x\n", 2, &error), 2);  // no text-mode translation
  }
  EXPECT_EQ(read_whole_file(path), "    7       12.35\r\nx\n");

  OutputFile again;
  ErrorCode error = 0;
  EXPECT_FALSE(again.create_new(path.c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_FILE_EXISTS));
  EXPECT_EQ(read_whole_file(path), "    7       12.35\r\nx\n");

  EXPECT_FALSE(again.create_new((scratch / "nowhere\\out.prn").c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_PATH_NOT_FOUND));
}

TEST(Win32Paths, ExistenceAndDeletion) {
  ScratchDirectory scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(write_whole_file(scratch / "a.prn", "1"));
  EXPECT_TRUE(path_exists((scratch / "a.prn").c_str()));
  EXPECT_TRUE(path_exists(scratch.path().c_str()));
  EXPECT_FALSE(path_exists((scratch / "b.prn").c_str()));

  ErrorCode error = 0;
  EXPECT_TRUE(delete_file((scratch / "a.prn").c_str(), &error));
  EXPECT_FALSE(path_exists((scratch / "a.prn").c_str()));
  EXPECT_FALSE(delete_file((scratch / "a.prn").c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32Paths, DirectoryPartEndsAtEitherSlashOrADriveColon) {
  for (char c : {'\\', '/', ':'}) EXPECT_TRUE(is_directory_separator(c)) << c;
  for (char c : {'.', '*', 'C', ' '}) EXPECT_FALSE(is_directory_separator(c)) << c;
  // "/C" and "/data/x.pcx" are both options on Windows: no path starts with the switch.
  EXPECT_FALSE(slash_argument_is_path("/data/x.pcx"));
}

}  // namespace
}  // namespace curvlog::platform::win32
