// Fuzz target: the PCX reader, from the 128-byte header through validation and run-length
// decoding to the graph stages in memory. The input is the file itself; the version byte's
// two low bits ask for verbose output and for cropping (the reader ignores that byte). The decoded
// bitmap must match a byte-by-byte model of the run-length rows.
//
// Build and run (clang):
//   cmake --preset fuzz && cmake --build --preset fuzz --target pcx_reader_fuzzer
//   nice -n 10 build-fuzz/tests/fuzz/pcx_reader_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=1 -dict=tests/fuzz/pcx.dict
//       NEW_DIR tests/fuzz/corpus/pcx_reader

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/input_file.h"
#include "fuzz_support.h"
#include "image/data_bitmap.h"
#include "image/pcx.h"

namespace {

// The run-length rows as the PCX format defines them, one byte at a time: 0xC1 to 0xFF repeat
// the next byte (code - 0xC0) times, repeats past the row's end are dropped, every other byte
// is itself; each stored byte is inverted. False when the bytes end before the last row does.
bool model_decode(const std::uint8_t* p, std::size_t n, std::uint32_t stride, std::int32_t height,
                  std::vector<std::uint8_t>& out) {
  out.assign(std::size_t{stride} * std::size_t(height), 0);
  std::size_t i = 0;
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* const row = out.data() + std::size_t{stride} * std::size_t(y);
    for (std::uint32_t k = 0; k < stride;) {
      if (i == n) return false;
      std::uint32_t count = 1;
      if (p[i] >= 0xC1) {
        count = p[i++] - 0xC0u;
        if (i == n) return false;
      }
      const std::uint8_t value = std::uint8_t(255 - p[i++]);
      for (; count > 0 && k < stride; --count) row[k++] = value;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace curvlog;
  if (fuzz::bitmap_too_large(fuzz::pcx_bitmap_size(data, size), 1)) return -1;
  const bool verbose = size > 1 && (data[1] & 1) != 0;
  const bool crop = size > 1 && (data[1] & 2) != 0;
  const char* const name = "fuzz.pcx";

  InputFile input;
  fuzz::open_as_input(data, size, input);
  PcxHeader header;
  if (pcx_read_header(input, header)) return 0;
  fuzz::check(size >= kPcxHeaderSize, "a header read from a short file");
  std::int32_t width = 0;
  std::int32_t height = 0;
  if (!pcx_validate_header(header, name, verbose, width, height)) return 0;
  fuzz::check(width >= 2 && height >= 2, "a valid window is two pixels or more");
  DataBitmap bitmap;
  const Ending ending = pcx_decode(input, header, width, height, name, bitmap);
  std::vector<std::uint8_t> model;
  const bool complete = model_decode(data + kPcxHeaderSize, size - kPcxHeaderSize,
                                     header.bytes_per_line, height, model);
  fuzz::check(complete == !ending, "the decoder ends where the model does");
  if (ending) return 0;
  fuzz::check(std::memcmp(bitmap.pixels.get(), model.data(), model.size()) == 0,
              "the decoder stores the bytes of the model");
  fuzz::check(bitmap.width == width && bitmap.height == height, "bitmap of the window");
  fuzz::check(bitmap.stride == header.bytes_per_line, "stride of the bytes per line");
  input.close();
  fuzz::check_graph_stages(bitmap, crop, 100.0, 0.0);
  return 0;
}
