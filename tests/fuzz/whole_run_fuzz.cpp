// Fuzz target: one whole run, from the argument vector to the PRN file, in a private scratch
// directory. The input is the command line after the program name, arguments separated by
// blanks or line feeds, then a NUL byte, then the bytes of the file "in" that the command line
// may name (the input, a filemask matching it, or an output name that exists). Arguments
// holding a directory separator or ".." are refused, so a run can touch only the scratch
// directory; "-" serves as the option switch ("/" is covered by the options target).
// Whatever the run leaves behind is removed before the next one.
//
// Build and run (clang); every path must be absolute, the fuzzer's own too (-merge starts it
// again), since the target changes directory:
//   cmake --preset fuzz && cmake --build --preset fuzz --target whole_run_fuzzer
//   nice -n 10 $PWD/build-fuzz/tests/fuzz/whole_run_fuzzer -max_total_time=1200 -timeout=5
//       -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=3 -dict=$PWD/tests/fuzz/whole_run.dict
//       $PWD/NEW_DIR $PWD/tests/fuzz/corpus/whole_run

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/run.h"
#include "base/cancel.h"
#include "base/exit_code.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMostArguments = 12;
constexpr char kInputName[] = "in";

const curvlog::fuzz::ScratchDirectory* scratch = nullptr;

bool acceptable(const std::string& argument) {
  return argument.find_first_of("/\\") == std::string::npos &&
         argument.find("..") == std::string::npos;
}

// Whether the command line asks for the TGA reader: an option argument "-t..." before the
// first positional one.
bool asks_for_tga(const std::vector<std::string>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a.size() < 2 || a[0] != '-') return false;
    if (std::tolower(static_cast<unsigned char>(a[1])) == 't') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  curvlog::fuzz::quiet_process();
  // /D finds a comma, so that the separator's paths run too (CI generates this locale).
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  // No helper program may show a dialog.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  static const curvlog::fuzz::ScratchDirectory directory;
  scratch = &directory;
  std::filesystem::current_path(directory.path());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace curvlog;
  const char* const text = reinterpret_cast<const char*>(data);
  const void* nul = size != 0 ? std::memchr(text, '\0', size) : nullptr;
  const std::size_t line_end =
      nul != nullptr ? std::size_t(static_cast<const char*>(nul) - text) : size;
  const std::uint8_t* const file = data + (nul != nullptr ? line_end + 1 : size);
  const std::size_t file_size = size - std::size_t(file - data);

  std::vector<std::string> words{"curvlog"};
  for (std::size_t i = 0; i < line_end;) {
    if (text[i] == ' ' || text[i] == '\n') {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < line_end && text[end] != ' ' && text[end] != '\n') ++end;
    words.emplace_back(text + i, end - i);
    if (!acceptable(words.back()) || words.size() > kMostArguments + 1) return -1;
    i = end;
  }
  const std::uint64_t bitmap = asks_for_tga(words) ? fuzz::tga_bitmap_size(file, file_size)
                                                   : fuzz::pcx_bitmap_size(file, file_size);
  if (fuzz::bitmap_too_large(bitmap, 1)) return -1;

  std::vector<char*> arguments;
  for (std::string& w : words) arguments.push_back(w.data());
  arguments.push_back(nullptr);
  fuzz::write_file(scratch->path() / kInputName, file, file_size);

  const ExitCode code = run(int(words.size()), arguments.data());
  fuzz::check(!cancel_requested(), "no cancellation in a fuzzed run");
  // The input is never written, and only a written file stays behind next to it.
  std::error_code error;
  fuzz::check(std::filesystem::file_size(scratch->path() / kInputName, error) == file_size,
              "input untouched");
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch->path(), error)) {
    (void)entry;
    ++entries;
  }
  const bool output_left = entries > 1;
  fuzz::check(!output_left || code == ExitCode::kSuccess, "a failed run leaves no file");
  scratch->empty();
  return 0;
}
