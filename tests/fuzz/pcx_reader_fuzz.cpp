// Fuzz target: the PCX reader, from the 128-byte header through validation and run-length
// decoding to the graph stages in memory. The input is the file itself; the version byte's
// two low bits ask for verbose output and for cropping, the encoding byte's low bit for a
// comma as decimal separator (the reader ignores both bytes).
//
// Build and run (clang):
//   cmake --preset fuzz && cmake --build --preset fuzz --target pcx_reader_fuzzer
//   nice -n 10 build-fuzz/tests/fuzz/pcx_reader_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=1 -dict=tests/fuzz/pcx.dict
//       NEW_DIR tests/fuzz/corpus/pcx_reader

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app/settings.h"
#include "fuzz_support.h"
#include "image/data_bitmap.h"
#include "image/pcx.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace curvlog;
  if (fuzz::bitmap_too_large(fuzz::pcx_bitmap_size(data, size), 1)) return -1;
  RunSettings settings;
  settings.high = 100.0;
  settings.low = 0.0;
  settings.verbose = size > 1 && (data[1] & 1) != 0;
  settings.crop = size > 1 && (data[1] & 2) != 0;
  settings.decimal_separator = size > 2 && (data[2] & 1) != 0 ? ',' : 0;
  std::snprintf(settings.input_name, sizeof settings.input_name, "%s", "fuzz.pcx");

  platform::InputFile input;
  fuzz::open_as_input(data, size, input);
  PcxHeader header;
  if (pcx_read_header(input, header)) return 0;
  fuzz::check(size >= kPcxHeaderSize, "a header read from a short file");
  std::int32_t width = 0;
  std::int32_t height = 0;
  if (!pcx_validate_header(header, settings.input_name, settings.verbose != 0, width, height))
    return 0;
  fuzz::check(width >= 2 && height >= 2, "a valid window is two pixels or more");
  DataBitmap bitmap;
  if (pcx_decode(input, header, width, height, settings.input_name, bitmap)) return 0;
  fuzz::check(bitmap.width == width && bitmap.height == height, "bitmap of the window");
  fuzz::check(bitmap.stride == header.bytes_per_line, "stride of the bytes per line");
  input.close();
  fuzz::check_graph_stages(bitmap, settings);
  return 0;
}
