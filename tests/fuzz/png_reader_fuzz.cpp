// Fuzz target: the PNG reader with the system's decoder, in graph and census modes. The first
// byte draws the options, the rest is the file:
//   bit 0 census mode, bit 1 verbose, bit 2 a comma as decimal separator, bit 3 cropping,
//   bit 4 a colour list whose 256 flags are the next 32 bytes: the /T list of a graph run, the
//   /E list of a census.
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
  platform::InputFile input;
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
  if (size < 1) return -1;
  const unsigned flags = data[0];
  ++data, --size;
  ReaderOptions options;
  options.input_name = "fuzz.png";
  options.census = (flags & 1) != 0;
  options.verbose = (flags & 2) != 0;
  options.decimal_separator = (flags & 4) != 0 ? ',' : 0;
  ColourTable list{};
  if ((flags & 16) != 0) {
    if (size < 32) return -1;
    for (unsigned v = 0; v < 256; ++v) list[v] = (data[v / 8] >> (v % 8) & 1) != 0;
    data += 32, size -= 32;
    (options.census ? options.excluded : options.selected) = &list;
  }
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
