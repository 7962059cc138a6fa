#include "graph/line_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/cancel.h"
#include "base/console.h"
#include "platform/platform.h"

namespace curvlog {
namespace {

// The writer owns the table from its first line on: every way out frees it.
struct TableRelease {
  ColumnTable& table;
  ~TableRelease() {
    table.records.reset();
    table.width = 0;
  }
};

// Whole lines collected for one write request, with where each ends. A line never spans two
// blocks, so every outcome of the one-write-per-line rule can be told from a block's write.
struct LineBlock {
  static constexpr std::size_t kBytes = 32 * 1024;
  // The shortest line, "0,0,0,0\n" of a CSV file, takes 8 bytes.
  static constexpr std::size_t kLines = kBytes / 8 + 1;
  char bytes[kBytes];
  std::size_t used = 0;
  std::uint32_t line_ends[kLines];
  std::size_t lines = 0;

  bool fits(std::size_t length) const { return lines < kLines && kBytes - used >= length; }
  void add(const char* line, std::size_t length) {
    std::memcpy(bytes + used, line, length);
    used += length;
    line_ends[lines++] = std::uint32_t(used);
  }
};

// Writes the block, leaving on disk and printing exactly what writing its lines one request
// each would have: a write that stops inside a line is that line's short write; one that stops
// at the end of a line means the next line's own request decides, so the rest is written on,
// and a failure then is that line's failure with its error number.
Ending write_block(platform::OutputFile& file, LineBlock& block, const char* name) {
  std::size_t done = 0;
  std::size_t line = 0;  // the first line not wholly written
  while (done < block.used) {
    platform::ErrorCode error = 0;
    const long written = file.write(block.bytes + done, block.used - done, &error);
    if (written < 0) {
      print("\nError: cannot write to file %s (%lu)\n\n", name, error);
      return ExitCode::kWriteFailure;
    }
    done += std::size_t(written);
    while (line < block.lines && block.line_ends[line] <= done) ++line;
    if (done == block.used) break;
    const bool at_line_end = line > 0 && block.line_ends[line - 1] == done;
    if (written == 0 || !at_line_end) {
      print("\nError: cannot write to file %s\n\n", name);
      return ExitCode::kWriteFailure;
    }
  }
  block.used = 0;
  block.lines = 0;
  return kGoOn;
}

}  // namespace

Ending write_line_file(ColumnTable& table, const LineFileOptions& options,
                       const ColumnLineFormat& format) {
  const TableRelease release{table};
  const char* const name = options.output_name;
  // The file may have appeared since the first test, before the input was read.
  if (platform::path_exists(name)) {
    print("\nError: output file %s already exists\n\n", name);
    return ExitCode::kOutputExists;
  }
  if (cancel_requested()) return ExitCode::kSuccess;
  if (options.verbose) print("Statistics calculated.\n");

  platform::OutputFile file;
  platform::ErrorCode error = 0;
  if (!file.create_new(name, &error)) {
    print("\nError: unable to create output file %s (%lu)\n\n", name, error);
    return ExitCode::kFileAccess;
  }
  LineBlock block;  // 48 KiB
  if (options.header != nullptr) block.add(options.header, std::strlen(options.header));
  const ColumnRecord* const records = table.records.get();
  for (std::int32_t x = 0; x < table.width; ++x) {
    if (cancel_requested()) {
      // The lines built before the cancellation would have been written by now.
      if (Ending ending = write_block(file, block, name)) return ending;
      file.close();
      remove_output(name);
      return ExitCode::kSuccess;
    }
    if (records[x].pixel_count == 0) continue;
    char line[kPrnLineCapacity];
    const int length = format.column_line(records, x, line);
    // The command line keeps values short enough; a line that still does not fit is reported
    // like a failed write instead of being stored cut. The partial file stays, as there.
    if (length < 0) {
      if (Ending ending = write_block(file, block, name)) return ending;
      print("\nError: cannot write to file %s\n\n", name);
      return ExitCode::kWriteFailure;
    }
    if (!block.fits(std::size_t(length))) {
      if (Ending ending = write_block(file, block, name)) return ending;
    }
    block.add(line, std::size_t(length));
  }
  if (Ending ending = write_block(file, block, name)) return ending;
  file.close();
  print("\nFile %s created.\n\n", name);
  // A cancellation that came during the last line or the close still removes the file.
  if (cancel_requested()) remove_output(name);
  return ExitCode::kSuccess;
}

void remove_output(const char* output_name) {
  if (!platform::path_exists(output_name)) return;
  platform::ErrorCode error = 0;
  if (!platform::delete_file(output_name, &error)) {
    print("\nError: cannot delete output file %s (%lu)\n\n", output_name, error);
  }
}

}  // namespace curvlog
