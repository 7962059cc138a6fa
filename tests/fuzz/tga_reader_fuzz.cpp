// Fuzz target: the TGA reader in graph and census modes. The first bytes draw the options
// (fuzz::take_options; here bit 5 also reads the pixels in two parts at once, as a big file's
// are), the rest is the file.
// A graph run goes on from the decoded bitmap through the graph stages in memory. A file is
// decoded both front to back and in two parts at once, an 8-bit one also with every pixel
// classification step (64-bit words, 128- and 256-bit vectors): all must agree on the outcome
// and on every byte of the bitmap.
//
// Build and run (clang):
//   cmake --preset fuzz && cmake --build --preset fuzz --target tga_reader_fuzzer
//   nice -n 10 build-fuzz/tests/fuzz/tga_reader_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=1 -dict=tests/fuzz/tga.dict
//       NEW_DIR tests/fuzz/corpus/tga_reader

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "image/census.h"
#include "image/tga.h"

namespace {

using namespace curvlog;

constexpr std::uint64_t kAlways = 0, kNever = UINT64_MAX;

// Decodes the input once more with other options, past the header and image ID, and compares
// with the first decoding.
void check_same_decoding(const ReaderOptions& options, const Ending& ending,
                         const DataBitmap& bitmap) {
  InputFile input;
  fuzz::reopen_input(input);
  TgaHeader again;
  fuzz::check(!tga_read_header(input, false, again), "the header reads again");
  DataBitmap other;
  fuzz::check(tga_decode(input, again, options, other) == ending,
              "every way of decoding ends alike");
  if (ending) return;
  const std::size_t size = std::size_t{bitmap.stride} * std::size_t(bitmap.height);
  fuzz::check(other.stride == bitmap.stride && other.height == bitmap.height &&
                  std::memcmp(other.pixels.get(), bitmap.pixels.get(), size) == 0,
              "every way of decoding gives the same bitmap");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReaderOptions options;
  ColourList list;
  const int flags = fuzz::take_options(data, size, "fuzz.tga", options, list);
  if (flags < 0) return -1;
  if (!options.census && fuzz::bitmap_too_large(fuzz::tga_bitmap_size(data, size), 1)) return -1;

  InputFile input;
  fuzz::open_as_input(data, size, input);
  TgaHeader header;
  if (tga_read_header(input, options.verbose, header)) return 0;
  fuzz::check(size >= 18, "a header read from a short file");
  // The command line refuses a colour list for a 1-bit file before the checks.
  if (header.bits_per_pixel == 1 && options.selected != nullptr) return 0;
  if (!tga_validate_header(header, options)) return 0;
  fuzz::check(header.width >= 1 && header.height >= 1 && header.descriptor == 32, "a valid header");
  if (options.census) {
    fuzz::check(header.bits_per_pixel == 8, "the census reads 8-bit files only");
    (void)run_colour_census(input, header, options);
    return 0;
  }
  const bool two_parts = (flags & 32) != 0;
  options.two_part_minimum = two_parts ? kAlways : kNever;
  DataBitmap bitmap;
  const Ending ending = tga_decode(input, header, options, bitmap);
  ReaderOptions other = options;
  if (header.bits_per_pixel == 8) {
    other.two_part_minimum = kNever;
    for (const ClassifyWidth width : {ClassifyWidth::kWord, ClassifyWidth::k128}) {
      other.widest_step = width;
      check_same_decoding(other, ending, bitmap);
    }
    other.widest_step = ClassifyWidth::k256;
  }
  other.two_part_minimum = two_parts ? kNever : kAlways;  // the other way
  check_same_decoding(other, ending, bitmap);
  if (ending) return 0;
  fuzz::check(bitmap.width == header.width && bitmap.height == header.height,
              "bitmap of the image");
  if (header.bits_per_pixel == 8 && header.width % 8 != 0) {
    // The bits beyond the width of an 8-bit row are 0.
    const std::uint8_t beyond = std::uint8_t(0xFF >> (header.width % 8));
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
      fuzz::check((bitmap.row(y)[header.width / 8] & beyond) == 0, "row padding clear");
    }
  }
  input.close();
  fuzz::check_graph_stages(bitmap, (flags & 8) != 0, 100.0, -100.0);
  return 0;
}
