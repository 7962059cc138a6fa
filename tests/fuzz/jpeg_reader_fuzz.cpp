// Fuzz target: the JPEG reader with the system's decoder, in graph and census modes. The first
// bytes draw the options (fuzz::take_options), the rest is the file.
// A graph run goes on from the decoded bitmap through the graph stages in memory, and a second
// decoding with the plain classification step must end alike, with the same bitmap.
//
// Build and run (clang):
//   cmake --preset fuzz && cmake --build --preset fuzz --target jpeg_reader_fuzzer
//   nice -n 10 build-fuzz/tests/fuzz/jpeg_reader_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=1 NEW_DIR tests/fuzz/corpus/jpeg_reader

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "image/jpeg.h"

namespace {

using namespace curvlog;

// Reads the header and decodes the input file from its first byte. *skipped: the frame asks
// for a bitmap larger than a fuzz input can fill.
Ending read_and_decode(const ReaderOptions& options, DataBitmap& bitmap, bool* skipped) {
  InputFile input;
  fuzz::reopen_input(input);
  JpegHeader header;
  if (Ending ending = jpeg_read_header(input, options.input_name, options.verbose, header)) {
    return ending;
  }
  fuzz::check(header.size <= std::size_t{1} << 20 && header.bytes != nullptr,
              "the kept bytes stay within their limit");
  if (!jpeg_validate_header(header, options.input_name)) return ExitCode::kInvalidContent;
  fuzz::check(header.width >= 1 && header.height >= 1 && header.precision == 8 &&
                  (header.components == 1 || header.components == 3),
              "a valid header's frame");
  // A progressive picture's coefficients take 2 bytes a sample: as much again as the bitmap
  // per 16 bits of it, which the same bound keeps small.
  *skipped = fuzz::bitmap_too_large(std::uint64_t{header.width} * 16, header.height);
  if (*skipped) return ExitCode::kInvalidContent;
  const Ending ending = jpeg_decode(input, header, options, bitmap);
  if (!ending && !options.census) {
    fuzz::check(
        bitmap.width == std::int32_t(header.width) && bitmap.height == std::int32_t(header.height),
        "the bitmap has the frame's size");
  }
  return ending;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReaderOptions options;
  ColourList list;
  const int flags = fuzz::take_options(data, size, "fuzz.jpg", options, list);
  if (flags < 0) return -1;
  // Only a file with the signature is read as JPEG.
  if (!is_jpeg_signature(data, size)) return -1;
  fuzz::write_file(fuzz::scratch_input_name(), data, size);

  DataBitmap bitmap;
  bool skipped = false;
  const Ending ending = read_and_decode(options, bitmap, &skipped);
  if (skipped) return -1;
  if (options.census || ending) {
    fuzz::check(bitmap.pixels == nullptr, "no bitmap after a census or a failed decode");
    return 0;
  }
  // The table-driven and vector classification steps agree.
  ReaderOptions plain = options;
  plain.widest_step = ClassifyWidth::kWord;
  DataBitmap other;
  fuzz::check(!read_and_decode(plain, other, &skipped), "a second decoding ends alike");
  const std::size_t bytes = std::size_t{bitmap.stride} * std::size_t(bitmap.height);
  fuzz::check(other.stride == bitmap.stride && other.height == bitmap.height &&
                  std::memcmp(other.pixels.get(), bitmap.pixels.get(), bytes) == 0,
              "both decodings give the same bitmap");
  fuzz::check_graph_stages(bitmap, (flags & 8) != 0, 100.0, -100.0);
  return 0;
}
