// The buffered input file against real files: it must look unbuffered to the readers, on a
// regular file (read by position) and on a pipe (read in order). Scratch files are made with
// the standard library.

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/input_file.h"

namespace curvlog {
namespace {

using platform::ErrorCode;
using Bytes = std::vector<std::uint8_t>;

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
    const std::string path = testing::TempDir() + "curvlog_input_" +
                             std::to_string(std::random_device{}()) + "_" + std::to_string(size);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const std::vector<Request> byte_by_byte(size + 2, {Request::kByte, 1});
    for (const auto& requests :
         {byte_by_byte, scripted, mixed_requests(size, 1), mixed_requests(size, 2)}) {
      InputFile input;
      ErrorCode error = 0;
      ASSERT_TRUE(input.open(path.c_str(), &error));
      expect_same_as_model(input, bytes, requests);
      EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);  // every script runs past the end
    }
    // The same through a pipe, which cannot skip by position, where the system has FIFOs.
#if !defined(_WIN32)
    const std::string fifo = path + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& requests : {scripted, mixed_requests(size, 3)}) {
      std::thread writer([&] {
        std::ofstream(fifo, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
      });
      InputFile input;
      ErrorCode error = 0;
      ASSERT_TRUE(input.open(fifo.c_str(), &error));
      EXPECT_EQ(input.regular_file_size(), -1);
      expect_same_as_model(input, bytes, requests);
      EXPECT_EQ(input.read_byte(), InputFile::kEndOfFile);
      EXPECT_FALSE(input.rewind());
      writer.join();
    }
    ::unlink(fifo.c_str());
#endif
    // Back to the first byte of a regular file, from anywhere in it.
    InputFile input;
    ErrorCode error = 0;
    ASSERT_TRUE(input.open(path.c_str(), &error));
    ASSERT_TRUE(input.skip(std::uint32_t(size / 2)));
    (void)input.read_byte();
    ASSERT_TRUE(input.rewind());
    expect_same_as_model(input, bytes, byte_by_byte);
  }
}

}  // namespace
}  // namespace curvlog
