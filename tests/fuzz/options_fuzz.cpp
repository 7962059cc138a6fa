// Fuzz target: option parsing and the value range, from an argument vector to the run
// settings. The input is the argument vector after the program name, the arguments separated
// by NUL bytes (an empty argument is allowed, as on a real command line). After a command
// line that is accepted, the output name is fixed, and a graph run's range must let every PRN
// line of the widest possible graph fit its buffer, each line being the text that the
// standard formatter gives for its form.
//
// Build and run (clang):
//   cmake --preset fuzz && cmake --build --preset fuzz --target options_fuzzer
//   nice -n 10 build-fuzz/tests/fuzz/options_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=1024 -close_fd_mask=1 -dict=tests/fuzz/options.dict
//       NEW_DIR tests/fuzz/corpus/options

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "cli/files.h"
#include "cli/options.h"
#include "cli/value_range.h"
#include "fuzz_support.h"
#include "graph/column_scan.h"
#include "graph/prn_writer.h"

namespace {

// Past the 8-bit option positions of the original, and more than any real command line.
constexpr std::size_t kMostArguments = 300;

// The lines of the values at the top, the middle and the bottom of the range, and of high
// and low themselves, with and without gaps and jumps, up to the widest a graph can give
// (column 65536): the standard formatter's text, and the widest always fit.
void check_lines(const curvlog::RunSettings& settings) {
  using namespace curvlog;
  for (const std::uint32_t mean : {0u, 32767u, 65535u}) {
    ColumnRecord record{};
    record.pixel_count = 1;
    record.height_sum = mean;
    const double value = column_value(record, 65536, settings.high, settings.low);
    fuzz::check(std::isfinite(value), "finite value");
    for (const double v : {value, settings.high, settings.low}) {
      for (const bool wide : {false, true}) {
        record.gap_count = wide ? 65534 : 0;
        record.jump_from = wide ? 65535 : 7;
        record.jump_to = wide ? 65536 : 8;
        const std::uint32_t number = wide ? 65536 : 8;
        for (const bool jump : {false, true}) {
          fuzz::check_prn_line(record, number, jump, v, settings.decimal_separator);
          char line[kPrnLineCapacity];
          fuzz::check(
              format_prn_line(record, number, jump, v, settings.decimal_separator, line) > 0,
              "the widest PRN line fits");
        }
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  // /D finds a comma, so that the separator's paths run too (CI generates this locale).
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace curvlog;
  // Each argument its own allocation, so that ASan sees a read past any one of them.
  std::vector<std::string> texts{"curvlog"};
  const char* const text = reinterpret_cast<const char*>(data);
  for (std::size_t start = 0; size != 0 && start <= size && texts.size() <= kMostArguments;) {
    const void* nul = std::memchr(text + start, '\0', size - start);
    const std::size_t end =
        nul != nullptr ? std::size_t(static_cast<const char*>(nul) - text) : size;
    texts.emplace_back(text + start, end - start);
    start = end + 1;
  }
  std::vector<std::vector<char>> storage;
  std::vector<char*> arguments;
  for (const std::string& t : texts) {
    storage.emplace_back(t.c_str(), t.c_str() + t.size() + 1);
    arguments.push_back(storage.back().data());
  }
  arguments.push_back(nullptr);

  RunSettings settings;
  settings.argument_count = int(texts.size());
  settings.arguments = arguments.data();
  if (settings.argument_count > 1) {
    if (parse_options(settings)) return 0;
    fuzz::check(settings.option_count >= 0 && settings.positional_count() >= 0,
                "options within the arguments");
    if (finish_options(settings)) return 0;
  }
  if (decide_mode_and_range(settings)) return 0;
  if (settings.census_mode) {
    fuzz::check(
        settings.tga_option != 0 && !settings.colour_list_given && settings.positional_count() <= 1,
        "census mode only for /T without a list");
  } else {
    fuzz::check(settings.positional_count() >= 2 && settings.positional_count() <= 4,
                "graph mode with two to four positional arguments");
    fuzz::check(settings.low < settings.high, "an ordered range");
    check_lines(settings);
  }
  if (resolve_output_name(settings)) return 0;
  fuzz::check(std::strlen(settings.output_name) < kNameCapacity, "output name terminated");
  return 0;
}
