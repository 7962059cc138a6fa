#include "graph/prn_writer.h"

#include <cstddef>
#include <cstdint>

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

}  // namespace

int format_prn_line(const ColumnRecord& record, std::uint32_t column_number, bool jump_shown,
                    double value, char separator, char (&line)[kPrnLineCapacity]) {
  // With a separator the line is first built without its end, so that its last "." (the
  // value's decimal point) can be exchanged; without one it is built whole in one step.
  char text[kNumberBufferSize];
  char* const target = separator != 0 ? text : line;
  const std::size_t capacity = separator != 0 ? sizeof text : sizeof line;
  const char* const end = separator != 0 ? "" : "\r\n";
  const int number = int(column_number);
  const unsigned long gaps = record.gap_count;
  const unsigned long from = record.jump_from;
  const unsigned long to = record.jump_to;
  int length;
  if (jump_shown && gaps != 0) {
    length = format_into(target, capacity, "%5d %11.2lf %5lu %5lu-%lu%s", number, value, gaps, from,
                         to, end);
  } else if (jump_shown) {
    // Five blanks for the missing gap count keep the jump in line with the full form.
    length =
        format_into(target, capacity, "%5d %11.2lf       %5lu-%lu%s", number, value, from, to, end);
  } else if (gaps != 0) {
    length = format_into(target, capacity, "%5d %11.2lf %5lu%s", number, value, gaps, end);
  } else {
    length = format_into(target, capacity, "%5d %11.2lf%s", number, value, end);
  }
  if (length < 0 || separator == 0) return length;
  substitute_separator(text, separator);
  return format_into(line, sizeof line, "%s\r\n", text);
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
  const ColumnRecord* const records = table.records.get();
  for (std::int32_t x = 0; x < table.width; ++x) {
    if (cancel_requested()) {
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
      print("\nError: cannot write to file %s\n\n", name);
      return ExitCode::kWriteFailure;
    }
    const long written = file.write(line, std::size_t(length), &error);
    if (written < 0) {
      print("\nError: cannot write to file %s (%lu)\n\n", name, error);
      return ExitCode::kWriteFailure;
    }
    if (written < length) {
      print("\nError: cannot write to file %s\n\n", name);
      return ExitCode::kWriteFailure;
    }
  }
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
