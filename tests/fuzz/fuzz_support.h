#pragma once

// What the fuzz targets share: a scratch directory of their own, the file the readers read,
// a quiet standard output, the bound on bitmap sizes, and the checks that a decoded bitmap
// passes the graph stages with sound records and values.

#include <stdlib.h>  // mkdtemp

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/input_file.h"
#include "graph/column_scan.h"
#include "image/data_bitmap.h"
#include "image/reader_options.h"

namespace curvlog::fuzz {

// A found fault: the message goes to standard error and the fuzzer sees a crash.
inline void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// The program prints every message to standard output; the fuzzer's own report goes to
// standard error. Standard input is never a terminal, so no prompt can wait for a name.
inline void quiet_process() {
  check(std::freopen("/dev/null", "w", stdout) != nullptr, "standard output silenced");
  check(std::freopen("/dev/null", "r", stdin) != nullptr, "standard input emptied");
}

// A directory private to this process, made once and removed at exit. Several fuzzers or
// replays may run at once.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string name = (std::filesystem::temp_directory_path() / "curvlog_fuzz_XXXXXX").string();
    check(::mkdtemp(name.data()) != nullptr, "scratch directory created");
    path_ = name;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Removes everything a run left behind.
  void empty() const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
      std::filesystem::remove_all(entry.path(), error);
    }
  }

 private:
  std::filesystem::path path_;
};

// The reader options that an input's first byte draws, for an input file of that name:
//   bit 0 census mode, bit 1 verbose, bit 2 a comma as decimal separator, bit 3 cropping (the
//   target's to apply), bit 4 a colour list whose 256 flags are the next 32 bytes: the /T list
//   of a graph run, the /E list of a census (the command line allows no other combination).
// Takes those bytes from the input and returns the first; -1 when it is too short for them.
inline int take_options(const std::uint8_t*& data, std::size_t& size, const char* input_name,
                        ReaderOptions& options, ColourList& list) {
  if (size < 1) return -1;
  const int flags = data[0];
  ++data, --size;
  options.input_name = input_name;
  options.census = (flags & 1) != 0;
  options.verbose = (flags & 2) != 0;
  options.decimal_separator = (flags & 4) != 0 ? ',' : 0;
  if ((flags & 16) == 0) return flags;
  if (size < 32) return -1;
  for (unsigned v = 0; v < 256; ++v) list.indices[v] = (data[v / 8] >> (v % 8) & 1) != 0;
  list.any_index = true;
  data += 32, size -= 32;
  (options.census ? options.excluded : options.selected) = &list;
  return flags;
}

inline void write_file(const std::filesystem::path& path, const std::uint8_t* data,
                       std::size_t size) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  check(file != nullptr, "scratch file created");
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  check(std::fclose(file) == 0 && written, "scratch file written");
}

// The reader targets' input: the bytes are written to one file of the scratch directory,
// reused from input to input, and opened as the program opens its input.
inline const std::string& scratch_input_name() {
  static const ScratchDirectory scratch;
  static const std::string name = (scratch.path() / "input").string();
  return name;
}

inline void open_as_input(const std::uint8_t* data, std::size_t size, InputFile& input) {
  write_file(scratch_input_name(), data, size);
  platform::ErrorCode error = 0;
  check(input.open(scratch_input_name().c_str(), &error), "scratch file opened");
}

// The same input once more, from its first byte.
inline void reopen_input(InputFile& input) {
  platform::ErrorCode error = 0;
  check(input.open(scratch_input_name().c_str(), &error), "scratch file opened again");
}

// Fuzz inputs are a few KB, enough to fill a bitmap of about a hundred KB at most (PCX runs
// repeat a byte up to 63 times). A header asking for more can only end in an early end of
// file, after an allocation that merely slows the fuzzer down (ASan poisons the whole block
// when it is freed); the refusal of huge blocks is tested end to end.
inline constexpr std::uint64_t kLargestFuzzedBitmap = std::uint64_t{1} << 22;

inline bool bitmap_too_large(std::uint64_t stride, std::uint64_t height) {
  return stride * height > kLargestFuzzedBitmap;
}

inline std::uint16_t little_endian_16(const std::uint8_t* bytes) {
  return std::uint16_t(bytes[0] | bytes[1] << 8);
}

// The bitmap a PCX header asks for (bytes per line by the window's height), or 0 for a
// header too short to say.
inline std::uint64_t pcx_bitmap_size(const std::uint8_t* file, std::size_t size) {
  if (size < 68) return 0;
  const std::int64_t height =
      std::int64_t{little_endian_16(file + 10)} - little_endian_16(file + 6) + 1;
  return height > 0 ? std::uint64_t(height) * little_endian_16(file + 66) : 0;
}

// The bitmap a TGA header asks for: (width + 7) / 8 bytes per row.
inline std::uint64_t tga_bitmap_size(const std::uint8_t* file, std::size_t size) {
  if (size < 18) return 0;
  return (std::uint64_t{little_endian_16(file + 12)} + 7) / 8 * little_endian_16(file + 14);
}

// The stages after a decoded bitmap, in memory: crop, scan and extremes. The records must
// describe the bitmap's working height, and every value lies between low and high.
inline void check_graph_stages(DataBitmap& bitmap, bool crop, double high, double low) {
  check(bitmap.pixels != nullptr && bitmap.width >= 1 && bitmap.height >= 1,
        "decoded bitmap present");
  check(bitmap.stride >= std::uint32_t(bitmap.width + 7) / 8, "stride holds the width");
  std::int32_t working_height = bitmap.height;
  std::int32_t band_top = 0;
  if (crop) {
    if (crop_to_data(bitmap, working_height, band_top)) return;
    check(working_height >= 1 && working_height <= bitmap.height, "cropped height in range");
  }
  ColumnTable table;
  if (scan_columns(bitmap, working_height, ScanOptions{"fuzz"}, table)) return;
  check(bitmap.pixels == nullptr, "the scan frees the bitmap");
  check(working_height >= 2, "a scanned graph has a scale");
  if (mark_extremes(table)) return;
  const ColumnRecord* const records = table.records.get();
  for (std::int32_t x = 0; x < table.width; ++x) {
    const ColumnRecord& record = records[x];
    if (record.pixel_count == 0) continue;
    check(record.top_row <= record.bottom_row, "data band ordered");
    check(record.bottom_row < working_height, "data band inside the working height");
    check(record.height_sum / record.pixel_count <= std::uint32_t(working_height - 1),
          "mean height inside the working height");
    const double value = column_value(record, working_height, high, low);
    check(value >= low && value <= high + 0.001, "value inside the range");
    if (x > 0 && records[x - 1].pixel_count != 0) {
      const ColumnRecord& previous = records[x - 1];
      const bool apart =
          record.top_row > previous.bottom_row + 1 || record.bottom_row + 1 < previous.top_row;
      check(record.jump == apart, "a jump exactly between data bands apart");
    }
  }
}

}  // namespace curvlog::fuzz
