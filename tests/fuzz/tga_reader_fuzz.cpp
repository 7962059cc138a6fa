// Fuzz target: the TGA reader in graph and census modes. The first byte draws the run
// settings, the rest is the file:
//   bit 0 census mode, bit 1 verbose, bit 2 a comma as decimal separator, bit 3 cropping,
//   bit 4 a colour list whose 256 flags are the next 32 bytes: the /T list of a graph run, the
//   /E list of a census (the command line allows no other combination),
//   bit 5 the pixels read in two parts at once (with the reader's column sums), as a big
//   file's are.
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
#include <cstdio>
#include <cstring>

#include "app/exit_code.h"
#include "app/settings.h"
#include "fuzz_support.h"
#include "image/census.h"
#include "image/data_bitmap.h"
#include "image/tga.h"
#include "platform/platform.h"

namespace {

// Takes 32 bytes of flags for a colour table; false when the input is too short.
bool take_table(const std::uint8_t*& data, std::size_t& size, curvlog::ColourTable& table) {
  if (size < 32) return false;
  for (unsigned v = 0; v < 256; ++v) table[v] = (data[v / 8] >> (v % 8) & 1) != 0;
  data += 32;
  size -= 32;
  return true;
}

// The option arguments that messages quote, as a command line would hold them.
char program[] = "curvlog";
char tga_argument[] = "/T1,2,3";
char exclude_argument[] = "/E4,5";
char* const arguments[] = {program, tga_argument, exclude_argument, nullptr};

// Decodes the input once more, past the header and image ID, and compares with the first
// decoding.
void check_same_decoding(const curvlog::RunSettings& settings, const curvlog::Ending& ending,
                         const curvlog::DataBitmap& bitmap) {
  using namespace curvlog;
  platform::InputFile input;
  fuzz::reopen_input(input);
  TgaHeader again;
  fuzz::check(!tga_read_header(input, false, again), "the header reads again");
  RunSettings copy = settings;
  DataBitmap other;
  const Ending other_ending = tga_decode(input, again, copy, other);
  fuzz::check(other_ending == ending, "every way of decoding ends alike");
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
  using namespace curvlog;
  if (size < 1) return -1;
  const unsigned flags = data[0];
  ++data;
  --size;
  RunSettings settings;
  settings.argument_count = 3;
  settings.arguments = arguments;
  settings.census_mode = (flags & 1) != 0;
  settings.verbose = (flags & 2) != 0;
  settings.decimal_separator = (flags & 4) != 0 ? ',' : 0;
  settings.crop = (flags & 8) != 0;
  settings.tga_option = 1;
  settings.pcx_input = false;
  if ((flags & 16) != 0 && settings.census_mode) {
    settings.exclude_option = 2;
    if (!take_table(data, size, settings.excluded_colours)) return -1;
  } else if ((flags & 16) != 0) {
    settings.colour_list_given = true;
    if (!take_table(data, size, settings.selected_colours)) return -1;
  }
  if (!settings.census_mode && fuzz::bitmap_too_large(fuzz::tga_bitmap_size(data, size), 1)) {
    return -1;
  }
  settings.option_count = 2;
  settings.high = 100.0;
  settings.low = -100.0;
  std::snprintf(settings.input_name, sizeof settings.input_name, "%s", "fuzz.tga");

  platform::InputFile input;
  fuzz::open_as_input(data, size, input);
  TgaHeader header;
  if (tga_read_header(input, settings.verbose != 0, header)) return 0;
  fuzz::check(size >= 18, "a header read from a short file");
  bool valid = true;
  if (Ending ending = tga_validate_header(header, settings, &valid)) {
    fuzz::check(*ending == ExitCode::kCommandLine && header.bits_per_pixel == 1 &&
                    settings.colour_list_given,
                "only a 1-bit file with a colour list ends the validation at once");
    return 0;
  }
  if (!valid) return 0;
  fuzz::check(header.width >= 1 && header.height >= 1 && header.descriptor == 32, "a valid header");
  if (settings.census_mode) {
    fuzz::check(header.bits_per_pixel == 8, "the census reads 8-bit files only");
    (void)run_colour_census(input, header, settings);
    return 0;
  }
  DataBitmap bitmap;
  limit_classify_width_for_testing(ClassifyWidth::k256);
  const bool two_parts = (flags & 32) != 0;
  constexpr std::uint64_t kAlways = 0, kNever = UINT64_MAX;
  const std::uint64_t usual_minimum =
      set_two_part_minimum_for_testing(two_parts ? kAlways : kNever);
  const Ending ending = tga_decode(input, header, settings, bitmap);
  if (header.bits_per_pixel == 8) {
    set_two_part_minimum_for_testing(kNever);
    for (const ClassifyWidth width : {ClassifyWidth::kWord, ClassifyWidth::k128}) {
      limit_classify_width_for_testing(width);
      check_same_decoding(settings, ending, bitmap);
    }
    limit_classify_width_for_testing(ClassifyWidth::k256);
  }
  set_two_part_minimum_for_testing(two_parts ? kNever : kAlways);  // the other way
  check_same_decoding(settings, ending, bitmap);
  set_two_part_minimum_for_testing(usual_minimum);
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
  fuzz::check_graph_stages(bitmap, settings);
  return 0;
}
