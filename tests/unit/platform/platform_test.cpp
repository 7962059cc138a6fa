// The platform layer against real files, on every system: the buffered input file must look
// unbuffered to the readers, the wildcard search matches as filemasks do, and failures carry
// the system's own error numbers. Scratch files are made with the standard library, never
// with the layer under test.

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

#if defined(_WIN32)
constexpr ErrorCode kNotFound = 2, kPathNotFound = 3, kFileExists = 80;  // ERROR_...
#else
constexpr ErrorCode kNotFound = 2, kPathNotFound = 2, kFileExists = 17;  // ENOENT, EEXIST
#endif

// A scratch directory, removed with everything in it.
struct ScratchDir {
  fs::path path =
      fs::temp_directory_path() / ("curvlog-platform-" + std::to_string(std::random_device{}()));
  ScratchDir() { fs::create_directories(path); }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string file(const std::string& name, const Bytes& bytes = {}) const {
    const fs::path full = path / name;
    fs::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return full.string();
  }
};

// Not periodic in any block size, so a byte from the wrong position shows.
Bytes pattern_bytes(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = std::uint8_t(i * 31 + i / 251);
  return bytes;
}

// One request of a reader: a byte, a read of count bytes, or a skip of count bytes.
struct Request {
  enum Kind { kByte, kRead, kSkip } kind;
  std::uint32_t count;
};

// Replays the requests on the file and on an in-memory model of an unbuffered file; every
// answer must agree, the end of the file included.
void expect_same_as_model(InputFile& input, const Bytes& bytes,
                          const std::vector<Request>& requests) {
  std::uint64_t position = 0;
  for (const Request& r : requests) {
    SCOPED_TRACE("at " + std::to_string(position));
    const std::size_t left = position < bytes.size() ? bytes.size() - position : 0;
    if (r.kind == Request::kByte) {
      ASSERT_EQ(input.read_byte(), left > 0 ? bytes[position++] : InputFile::kEndOfFile);
    } else if (r.kind == Request::kRead) {
      Bytes got(r.count + 1, 0xEE);
      const std::size_t expected = std::min<std::size_t>(left, r.count);
      ASSERT_EQ(input.read(got.data(), r.count), long(expected));
      ASSERT_TRUE(
          std::equal(got.begin(), got.begin() + long(expected),
                     bytes.begin() + long(std::min<std::uint64_t>(position, bytes.size()))));
      ASSERT_EQ(got[expected], 0xEE);  // nothing written past what was delivered
      position += expected;
    } else {
      ASSERT_TRUE(input.skip(r.count));
      position += r.count;
    }
  }
}

std::vector<Request> mixed_requests(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Request> requests;
  for (std::size_t covered = 0; covered < size + 70000;) {
    auto kind = Request::Kind(random() % 3);
    std::uint32_t count = kind == Request::kByte ? 1 : std::uint32_t(random() % 70000);
    if (random() % 4 == 0) count %= 20;  // small header-like requests too
    requests.push_back({kind, count});
    covered += count;
  }
  return requests;
}

TEST(InputFile, ServesTheSameBytesAsUnbufferedRequests) {
  ScratchDir dir;
  const std::vector<Request> scripted = {
      {Request::kRead, 128},         {Request::kByte, 1},
      {Request::kSkip, 65406},       {Request::kByte, 1},
      {Request::kRead, 70000},       {Request::kSkip, 1},
      {Request::kByte, 1},           {Request::kSkip, 300000},
      {Request::kByte, 1},           {Request::kRead, 18},
      {Request::kSkip, 0xF0000000u}, {Request::kByte, 1}};  // a skip beyond 2^31 moves forward
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 200000u}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes bytes = pattern_bytes(size);
    const std::string path = dir.file("in.bin", bytes);
    const std::vector<Request> byte_by_byte(size + 2, {Request::kByte, 1});
    for (const auto& requests :
         {byte_by_byte, scripted, mixed_requests(size, 1), mixed_requests(size, 2)}) {
      InputFile input;
      ErrorCode error = 0;
      ASSERT_TRUE(input.open(path.c_str(), &error));
      expect_same_as_model(input, bytes, requests);
      EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);  // every script runs past the end
    }
    // Positional reads, where the system offers them, whatever the sequential position: the
    // file's bytes from the offset, fewer at the end, none beyond it.
    InputFile input;
    ErrorCode error = 0;
    ASSERT_TRUE(input.open(path.c_str(), &error));
    if (input.regular_file_size() < 0) continue;
    EXPECT_EQ(input.regular_file_size(), std::int64_t(size));
    ASSERT_EQ(input.read_byte(), size > 0 ? bytes[0] : InputFile::kEndOfFile);
    for (const std::size_t offset : {std::size_t(0), size / 3, size, size + 5}) {
      Bytes got(70000, 0xEE);
      const std::size_t expected = std::min<std::size_t>(70000, size - std::min(offset, size));
      ASSERT_EQ(input.read_at(offset, got.data(), got.size(), &error), long(expected));
      EXPECT_TRUE(std::equal(got.begin(), got.begin() + long(expected),
                             bytes.begin() + long(std::min(offset, size))));
    }
    EXPECT_EQ(input.read_byte(), size > 1 ? bytes[1] : InputFile::kEndOfFile);
    input.close();
    EXPECT_EQ(input.regular_file_size(), -1);
  }
}

#if !defined(_WIN32)
// A FIFO has no size, no byte of it can be read out of turn, and a skip reads and discards.
TEST(InputFile, SkipOnAFifoReadsAndDiscards) {
  const std::string path = testing::TempDir() + "curvlog-fifo-" + std::to_string(::getpid());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  Bytes bytes = pattern_bytes(150000);
  std::thread writer([&] {
    int fd = ::open(path.c_str(), O_WRONLY);
    for (std::size_t done = 0; done < bytes.size();) {
      ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (put <= 0) break;
      done += std::size_t(put);
    }
    ::close(fd);
  });
  InputFile input;
  ErrorCode error = 0;
  ASSERT_TRUE(input.open(path.c_str(), &error));
  EXPECT_EQ(input.regular_file_size(), -1);
  std::uint8_t byte = 0;
  EXPECT_EQ(input.read_at(0, &byte, 1, &error), -1);
  expect_same_as_model(input, bytes,
                       {{Request::kByte, 1},
                        {Request::kSkip, 100000},
                        {Request::kRead, 3},
                        {Request::kSkip, 1000000},
                        {Request::kByte, 1}});
  input.close();
  writer.join();
  std::remove(path.c_str());
}
#endif

// All matches of a mask, sorted; empty with the error when the search finds nothing.
std::vector<std::string> search_all(const std::string& mask, ErrorCode* error) {
  std::vector<std::string> found;
  WildcardSearch search;
  char name[kFoundNameCapacity];
  if (!search.first(mask.c_str(), name, error)) return found;
  WildcardSearch::Next next = WildcardSearch::Next::kFound;
  for (; next == WildcardSearch::Next::kFound; next = search.next(name, error)) {
    found.push_back(name);
  }
  EXPECT_EQ(next, WildcardSearch::Next::kNoMoreFiles);
  EXPECT_TRUE(search.close(error));
  std::sort(found.begin(), found.end());
  return found;
}

TEST(WildcardSearch, MatchesNamesWithoutRegardToCase) {
  ScratchDir dir;
  for (const char* name : {"a.pcx", "B.PCX", "c.tga", "README", "x[1].pcx", "data/run7.pcx"}) {
    dir.file(name);
  }
  using Names = std::vector<std::string>;
  struct Case {
    std::string mask;  // inside the scratch directory
    Names expected;
    ErrorCode error;  // when nothing is expected
  } cases[] = {
      {"*.pcx", {"B.PCX", "a.pcx", "x[1].pcx"}, 0},
      {"?.TGA", {"c.tga"}, 0},
      {"*.*", {".", "..", "B.PCX", "README", "a.pcx", "c.tga", "data", "x[1].pcx"}, 0},
      {"x[1]*", {"x[1].pcx"}, 0},              // "[" is no wildcard
      {"data/*", {".", "..", "run7.pcx"}, 0},  // every entry counts
      {"*.prn", {}, kNotFound},
      {"nowhere/*.pcx", {}, kPathNotFound},
  };
  for (const Case& c : cases) {
    ErrorCode error = 0;
    EXPECT_EQ(search_all((dir.path / c.mask).string(), &error), c.expected) << c.mask;
    if (c.expected.empty()) {
      EXPECT_EQ(error, c.error) << c.mask;
    }
  }
}

TEST(Files, NeverOverwriteAndReportTheSystemErrorNumber) {
  ScratchDir dir;
  const std::string old = dir.file("old.prn", {'k', 'e', 'p', 't'});
  ErrorCode error = 0;
  OutputFile output;
  EXPECT_FALSE(output.create_new(old.c_str(), &error));
  EXPECT_EQ(error, kFileExists);
  EXPECT_EQ(fs::file_size(old), 4u);
  InputFile input;
  EXPECT_FALSE(input.open((dir.path / "missing.pcx").string().c_str(), &error));
  EXPECT_EQ(error, kNotFound);
  EXPECT_FALSE(input.open(dir.path.string().c_str(), &error));  // a directory is no input
  EXPECT_FALSE(delete_file((dir.path / "missing.pcx").string().c_str(), &error));
  EXPECT_EQ(error, kNotFound);
  EXPECT_TRUE(path_exists(old.c_str()));
  EXPECT_TRUE(delete_file(old.c_str(), &error));
  EXPECT_FALSE(path_exists(old.c_str()));
}

}  // namespace
}  // namespace curvlog::platform
