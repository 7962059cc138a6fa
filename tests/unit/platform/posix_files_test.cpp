// The buffered input file and the wildcard search against real files in a scratch directory.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
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

// A scratch directory, removed with everything in it.
struct ScratchDir {
  std::string path = (fs::temp_directory_path() / "curvlog-XXXXXX").string();
  ScratchDir() { ::mkdtemp(path.data()); }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string file(const std::string& name, const Bytes& bytes = {}) const {
    fs::path full = fs::path(path) / name;
    fs::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return full.string();
  }
};

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
  std::size_t position = 0;
  for (const Request& r : requests) {
    SCOPED_TRACE("at " + std::to_string(position));
    std::size_t left = position < bytes.size() ? bytes.size() - position : 0;
    if (r.kind == Request::kByte) {
      ASSERT_EQ(input.read_byte(), left > 0 ? bytes[position++] : InputFile::kEndOfFile);
    } else if (r.kind == Request::kRead) {
      Bytes got(r.count + 1, 0xEE);
      std::size_t expected = std::min<std::size_t>(left, r.count);
      ASSERT_EQ(input.read(got.data(), r.count), long(expected));
      // A skip may have moved the position past the end.
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + long(expected),
                             bytes.begin() + long(std::min(position, bytes.size()))));
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
  const std::vector<Request> scripted = {{Request::kRead, 128},   {Request::kByte, 1},
                                         {Request::kSkip, 65406}, {Request::kByte, 1},
                                         {Request::kRead, 70000}, {Request::kSkip, 1},
                                         {Request::kByte, 1},     {Request::kSkip, 300000},
                                         {Request::kByte, 1},     {Request::kRead, 18}};
  for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 200000u}) {
    SCOPED_TRACE("size " + std::to_string(size));
    Bytes bytes = pattern_bytes(size);
    std::string path = dir.file("in.bin", bytes);
    const std::vector<Request> byte_by_byte(size + 2, {Request::kByte, 1});
    for (const auto& requests :
         {byte_by_byte, scripted, mixed_requests(size, 1), mixed_requests(size, 2)}) {
      InputFile input;
      ErrorCode error = 0;
      ASSERT_TRUE(input.open(path.c_str(), &error));
      expect_same_as_model(input, bytes, requests);
      EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);  // every script runs past the end
    }
    // Positional reads, whatever the sequential position: the file's bytes from the offset,
    // fewer at the end, none beyond it.
    InputFile input;
    ErrorCode error = 0;
    ASSERT_TRUE(input.open(path.c_str(), &error));
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

TEST(InputFile, SkipOnAFifoReadsAndDiscards) {
  ScratchDir dir;
  std::string path = dir.path + "/fifo";
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
  // A FIFO has no size, and no byte of it can be read out of turn.
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
}

// All matches of a mask, sorted; empty with the error when the search finds nothing.
std::vector<std::string> search_all(const std::string& mask, ErrorCode* error) {
  std::vector<std::string> found;
  WildcardSearch search;
  char name[kFoundNameCapacity];
  if (!search.first(mask.c_str(), name, error)) return found;
  do found.push_back(name);
  while (search.next(name, error) == WildcardSearch::Next::kFound);
  EXPECT_TRUE(search.close(error));
  std::sort(found.begin(), found.end());
  return found;
}

TEST(WildcardSearch, MatchesNamesWithoutRegardToCase) {
  using Names = std::vector<std::string>;
  struct Case {
    Names files;
    std::string mask;  // relative to the scratch directory, the current directory meanwhile
    Names expected;
    int error;  // when nothing is expected
  } cases[] = {
      {{"only.pcx"}, "*", {".", "..", "only.pcx"}, 0},
      {{"README", "a.b"}, "*.*", {".", "..", "README", "a.b"}, 0},
      {{"x[1].pcx", "x1.pcx"}, "x[1]*", {"x[1].pcx"}, 0},  // "[" is no wildcard
      {{"a.pcx"}, "missing/*.pcx", {}, ENOENT},
      {{"a.pcx"}, "a.pcx/*", {}, ENOTDIR},
  };
  fs::path home = fs::current_path();
  for (const Case& c : cases) {
    ScratchDir dir;
    for (const std::string& file : c.files) dir.file(file);
    fs::current_path(dir.path);
    ErrorCode error = 0;
    EXPECT_EQ(search_all(c.mask, &error), c.expected) << c.mask;
    EXPECT_EQ(error, ErrorCode(c.error)) << c.mask;
    fs::current_path(home);
  }
  ScratchDir dir;  // an absolute mask
  dir.file("abs.tga");
  ErrorCode error = 0;
  EXPECT_EQ(search_all(dir.path + "/*.TGA", &error), Names{"abs.tga"});
}

}  // namespace
}  // namespace curvlog::platform
