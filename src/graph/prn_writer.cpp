#include "graph/prn_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "app/cancel.h"
#include "app/console.h"
#include "cli/value_range.h"
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

char* put_padded(char* at, const char* text, std::size_t length, std::size_t width) {
  if (length < width) at = std::fill_n(at, width - length, ' ');
  return std::copy_n(text, length, at);
}

// A whole number right-aligned in width characters (a minimum: longer numbers take more).
template <typename Number>
char* put_field(char* at, Number number, std::size_t width) {
  char digits[24];
  const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, number);
  return put_padded(at, digits, std::size_t(result.ptr - digits), width);
}

// The value as "%.2lf" prints it: the decimal expansion of the double, rounded to the nearest
// hundredth. Into text (NUL-terminated); returns the length, or -1 when it does not fit.
//
// For magnitudes below 2^40 the hundredths are worked out here: p = |value| x 100 is within
// p x 2^-53 of the exact product, so unless its fraction lies within p x 2^-50 of one half the
// nearest whole number of hundredths is the same for p and for the exact product, and printf
// prints exactly that. Near a half (a possible tie), and for huge, infinite or undefined
// values, printf itself decides.
int format_two_decimals(double value, char (&text)[kNumberBufferSize]) {
  const double magnitude = std::fabs(value);
  if (magnitude < 0x1p40) {
    const double hundredths = magnitude * 100.0;
    const double whole = std::floor(hundredths);
    const double fraction = hundredths - whole;
    if (std::fabs(fraction - 0.5) > hundredths * 0x1p-50) {
      const std::uint64_t n = std::uint64_t(whole) + (fraction > 0.5 ? 1 : 0);
      char* at = text;
      if (std::signbit(value)) *at++ = '-';
      at = std::to_chars(at, text + sizeof text, n / 100).ptr;
      *at++ = '.';
      *at++ = char('0' + n % 100 / 10);
      *at++ = char('0' + n % 10);
      *at = '\0';
      return int(at - text);
    }
  }
  return format_into(text, sizeof text, "%.2lf", value);
}

// Whole lines collected for one write request, with where each ends. A line never spans two
// blocks, so every outcome of the one-write-per-line rule can be told from a block's write.
struct LineBlock {
  static constexpr std::size_t kBytes = 32 * 1024;
  // The shortest line form, "%5d %11.2lf\r\n", takes 19 bytes.
  static constexpr std::size_t kLines = kBytes / 19 + 1;
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

int format_prn_line(const ColumnRecord& record, std::uint32_t column_number, bool jump_shown,
                    double value, char separator, char (&line)[kPrnLineCapacity]) {
  // The fields are put together by hand, as the four forms "%5d %11.2lf %5lu %5lu-%lu",
  // "%5d %11.2lf       %5lu-%lu", "%5d %11.2lf %5lu" and "%5d %11.2lf" print them, the line
  // end after them; a printf per line showed in the profile of long graphs.
  char text[2 * kNumberBufferSize];
  char* at = put_field(text, int(column_number), 5);
  *at++ = ' ';
  char number[kNumberBufferSize];
  const int value_length = format_two_decimals(value, number);
  if (value_length < 0) {
    line[0] = '\0';
    return -1;
  }
  // The value holds the line's only "." (the other fields are whole numbers).
  substitute_separator(number, separator);
  at = put_padded(at, number, std::size_t(value_length), 11);
  if (record.gap_count != 0) {
    *at++ = ' ';
    at = put_field(at, record.gap_count, 5);
  } else if (jump_shown) {
    // Five blanks for the missing gap count keep the jump in line with the full form.
    at = std::copy_n("      ", 6, at);
  }
  if (jump_shown) {
    *at++ = ' ';
    at = put_field(at, record.jump_from, 5);
    *at++ = '-';
    at = put_field(at, record.jump_to, 0);
  }
  *at++ = '\r';
  *at++ = '\n';
  // Like the buffer formatter: a line that does not fit with its terminator is refused.
  const std::size_t length = std::size_t(at - text);
  if (length >= sizeof line) {
    line[0] = '\0';
    return -1;
  }
  std::memcpy(line, text, length);
  line[length] = '\0';
  return int(length);
}

Ending write_prn_file(ColumnTable& table, std::int32_t working_height,
                      const RunSettings& settings) {
  const TableRelease release{table};
  const char* const name = settings.output_name;
  // The file may have appeared since the first test, before the input was read.
  if (platform::path_exists(name)) {
    print("\nError: output file %s already exists\n\n", name);
    return ExitCode::kOutputExists;
  }
  if (cancel_requested()) return ExitCode::kSuccess;
  if (settings.verbose != 0) print("Statistics calculated.\n");

  platform::OutputFile file;
  platform::ErrorCode error = 0;
  if (!file.create_new(name, &error)) {
    print("\nError: unable to create output file %s (%lu)\n\n", name, error);
    return ExitCode::kFileAccess;
  }
  LineBlock block;  // 39 KiB
  const ColumnRecord* const records = table.records.get();
  for (std::int32_t x = 0; x < table.width; ++x) {
    if (cancel_requested()) {
      // The lines built before the cancellation would have been written by now.
      if (Ending ending = write_block(file, block, name)) return ending;
      file.close();
      remove_output(name);
      return ExitCode::kSuccess;
    }
    const ColumnRecord& record = records[x];
    if (record.pixel_count == 0) continue;
    // A jump from an empty column is no jump of the curve.
    const bool jump_shown =
        x > 0 && records[x - 1].pixel_count != 0 && record.jump_from != 0 && record.jump_to != 0;
    const double value = column_value(record, working_height, settings.high, settings.low);
    char line[kPrnLineCapacity];
    const int length = format_prn_line(record, std::uint32_t(x) + 1, jump_shown, value,
                                       settings.decimal_separator, line);
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
