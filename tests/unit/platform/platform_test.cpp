// The platform layer against real files, on every system: the input file reads in order and by
// position, handles are given back, and the wildcard search matches as filemasks do. Scratch files
// are made with the standard library, never with the layer under test.

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

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

TEST(File, ReadsInOrderAndByPosition) {
  ScratchDir dir;
  for (std::size_t size : {0u, 1u, 65536u, 200000u}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes bytes = pattern_bytes(size);
    const std::string path = dir.file("in.bin", bytes);
    File input;
    ErrorCode error = 0;
    ASSERT_TRUE(input.open(path.c_str(), &error));
    EXPECT_EQ(input.regular_size(), std::int64_t(size));
    // In order: every byte once, then the end.
    Bytes got;
    Bytes block(65000);
    for (long n; (n = input.read(block.data(), block.size(), &error)) > 0;) {
      got.insert(got.end(), block.begin(), block.begin() + n);
    }
    EXPECT_EQ(got, bytes);
    // Positional reads, in any order: the file's bytes from the offset, fewer at the end, none
    // beyond it.
    for (const std::size_t offset : {size + 5, size / 3, std::size_t(0), size}) {
      Bytes part(70000, 0xEE);
      const std::size_t expected = std::min<std::size_t>(70000, size - std::min(offset, size));
      ASSERT_EQ(input.read_at(offset, part.data(), part.size(), &error), long(expected));
      EXPECT_TRUE(std::equal(part.begin(), part.begin() + long(expected),
                             bytes.begin() + long(std::min(offset, size))));
    }
    input.close();
    EXPECT_EQ(input.regular_size(), -1);
  }
  File directory;
  ErrorCode error = 0;
  EXPECT_FALSE(directory.open(dir.path.string().c_str(), &error));
  EXPECT_NE(error, ErrorCode{0});
#if !defined(_WIN32)
  // Closing gives the handle back: more files, one by one, than the process may hold open,
  // each read and each made anew.
  rlimit usual, few;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &usual), 0);
  few = usual;
  few.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
  const std::string path = dir.file("again.bin", pattern_bytes(1));
  int opened = 0;
  for (; opened < 200; ++opened) {
    File input;
    OutputFile output;
    if (!input.open(path.c_str(), &error) || !output.create_new((path + ".prn").c_str(), &error) ||
        !delete_file((path + ".prn").c_str(), &error)) {
      break;
    }
  }
  ::setrlimit(RLIMIT_NOFILE, &usual);
  EXPECT_EQ(opened, 200);
#endif
}

#if defined(__linux__)
// The large-page hint reaches the system: the block's mapping is marked for large pages ("hg"
// among its flags), where the system has them at all.
TEST(Memory, LargeBlockHintReachesTheSystem) {
  if (!fs::exists("/sys/kernel/mm/transparent_hugepage")) GTEST_SKIP() << "no large pages here";
  const std::size_t size = std::size_t{16} << 20;
  void* const block = std::calloc(size, 1);  // a mapping of its own, at this size
  ASSERT_NE(block, nullptr);
  advise_large_block(block, size);
  const auto at = reinterpret_cast<std::uintptr_t>(block);
  std::ifstream maps("/proc/self/smaps");
  bool inside = false, marked = false;
  for (std::string line; std::getline(maps, line);) {
    std::uintptr_t from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) inside = from <= at && at < to;
    if (inside && line.rfind("VmFlags:", 0) == 0) marked = line.find(" hg") != std::string::npos;
  }
  std::free(block);
  EXPECT_TRUE(marked);
}
#endif

// Letter case, "?" and every entry counting show in the filemask transcripts; these show only
// here: "[" is no wildcard, and a "*" that fails is retried further on.
TEST(MatchOneFile, AnswersByTheNumberOfMatches) {
  ScratchDir dir;
  for (const char* name : {"README", "x[1].pcx", "x1.pcx", "ab.ab.pcx"}) dir.file(name);
  using Count = FileMatch::Count;
  const struct {
    const char* mask;
    Count count;
    const char* name;
  } cases[] = {{"x[1]*", Count::kOne, "x[1].pcx"},    {"X?.PCX", Count::kOne, "x1.pcx"},
               {"a*b.pcx", Count::kOne, "ab.ab.pcx"}, {"*E", Count::kOne, "README"},
               {"*.pcx", Count::kSeveral, ""},        {"x?", Count::kNone, ""}};
  for (const auto& c : cases) {
    const FileMatch match = match_one_file((dir.path / c.mask).string().c_str());
    EXPECT_EQ(match.count, c.count) << c.mask;
    if (c.count == Count::kOne) {
      EXPECT_STREQ(match.name, c.name) << c.mask;
    } else if (c.count == Count::kNone) {
      EXPECT_EQ(match.error, 2u) << c.mask;  // no such file
    }
    EXPECT_FALSE(match.close_failed) << c.mask;
  }
}

}  // namespace
}  // namespace curvlog::platform
