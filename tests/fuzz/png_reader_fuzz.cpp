// Fuzz target: the PNG reader with the system's decoder, in graph and census modes. The first
// bytes draw the options (fuzz::take_options), the rest is the file.
// A graph run goes on from the decoded bitmap through the graph stages in memory, and a second
// decoding with the plain classification step must end alike, with the same bitmap.
//
// Build and run (clang):
//   cmake --preset fuzz && cmake --build --preset fuzz --target png_reader_fuzzer
//   nice -n 10 build-fuzz/tests/fuzz/png_reader_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=1 NEW_DIR tests/fuzz/corpus/png_reader

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "image/png.h"

namespace {

using namespace curvlog;

// Reads the header and decodes the input file from its first byte.
Ending read_and_decode(const ReaderOptions& options, DataBitmap& bitmap, bool* valid) {
  InputFile input;
  fuzz::reopen_input(input);
  PngHeader header;
  if (Ending ending = png_read_header(input, options.input_name, options.verbose, header)) {
    return ending;
  }
  *valid = png_validate_header(header, options.input_name);
  if (!*valid) return ExitCode::kInvalidContent;
  fuzz::check(
      header.width >= 1 && header.width <= 65535 && header.height >= 1 && header.height <= 65535,
      "a valid header's size");
  return png_decode(input, header, options, bitmap);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReaderOptions options;
  ColourList list;
  const int flags = fuzz::take_options(data, size, "fuzz.png", options, list);
  if (flags < 0) return -1;
  // Only a file with the signature is read as PNG.
  if (!is_png_signature(data, size)) return -1;
  // The IHDR chunk's width and height, big-endian at offsets 16 and 20.
  auto field = [&](std::size_t at) {
    return size < at + 4 ? 0
                         : std::uint64_t{data[at]} << 24 | data[at + 1] << 16 | data[at + 2] << 8 |
                               data[at + 3];
  };
  if (fuzz::bitmap_too_large((field(16) + 7) / 8, field(20))) return -1;
  fuzz::write_file(fuzz::scratch_input_name(), data, size);

  DataBitmap bitmap;
  bool valid = false;
  const Ending ending = read_and_decode(options, bitmap, &valid);
  if (options.census || ending) {
    fuzz::check(bitmap.pixels == nullptr, "no bitmap after a census or a failed decode");
    return 0;
  }
  // The table-driven and vector classification steps agree.
  ReaderOptions plain = options;
  plain.widest_step = ClassifyWidth::kWord;
  DataBitmap other;
  fuzz::check(!read_and_decode(plain, other, &valid), "a second decoding ends alike");
  const std::size_t bytes = std::size_t{bitmap.stride} * std::size_t(bitmap.height);
  fuzz::check(other.stride == bitmap.stride && other.height == bitmap.height &&
                  std::memcmp(other.pixels.get(), bitmap.pixels.get(), bytes) == 0,
              "both decodings give the same bitmap");
  if (bitmap.width % 8 != 0) {
    const std::uint8_t beyond = std::uint8_t(0xFF >> (bitmap.width % 8));
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
      fuzz::check((bitmap.row(y)[bitmap.width / 8] & beyond) == 0, "row padding clear");
    }
  }
  fuzz::check_graph_stages(bitmap, (flags & 8) != 0, 100.0, -100.0);
  return 0;
}
