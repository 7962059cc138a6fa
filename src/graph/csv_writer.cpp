#include "graph/csv_writer.h"

#include <charconv>
#include <cstdint>

#include "graph/line_file.h"
#include "graph/prn_line.h"

namespace curvlog {
namespace {

// A number as "%.9g" prints it (at most 16 characters, as in "-1.23456789e-308"), its point
// replaced by separator when that is set. to_chars ignores the locale, as the file must.
char* put_number(char* at, double number, char separator) {
  char* const end = std::to_chars(at, at + 24, number, std::chars_format::general, 9).ptr;
  for (char* c = at; separator != 0 && c != end; ++c) {
    if (*c == '.') *c = separator;
  }
  return end;
}

class CsvLineFormat final : public ColumnLineFormat {
 public:
  CsvLineFormat(const CsvOptions& options, std::int32_t working_height)
      : options_(options), working_height_(working_height) {
    if (options.decimal_separator != 0 && options.decimal_separator != '.') {
      separator_ = options.decimal_separator;
      field_ = ';';
    }
  }

  const char* header() const { return field_ == ',' ? "x,y,holes,jump\n" : "x;y;holes;jump\n"; }

  int column_line(const ColumnRecord* records, std::int32_t x,
                  char (&line)[kPrnLineCapacity]) const override {
    const ColumnRecord& record = records[x];
    const double column = options_.columns != nullptr ? options_.columns->at(double(x)) : double(x);
    const double height = mean_height(record);
    const double value =
        options_.rows != nullptr
            ? options_.rows->at(double(options_.row_offset + working_height_ - 1) - height)
            : options_.low + height / double(working_height_ - 1) * (options_.high - options_.low);
    // Two numbers, a hole count of at most 10 digits, three separators and the line end: at
    // most 47 characters.
    char* at = put_number(line, column, separator_);
    *at++ = field_;
    at = put_number(at, value, separator_);
    *at++ = field_;
    at = std::to_chars(at, at + 10, record.gap_count).ptr;
    *at++ = field_;
    *at++ = jump_shown(records, x) ? '1' : '0';
    *at++ = '\n';
    *at = '\0';
    return int(at - line);
  }

 private:
  const CsvOptions& options_;
  std::int32_t working_height_;
  char separator_ = 0;
  char field_ = ',';
};

}  // namespace

Ending write_csv_file(ColumnTable& table, std::int32_t working_height, const CsvOptions& options) {
  const CsvLineFormat format(options, working_height);
  return write_line_file(
      table, LineFileOptions{options.output_name, options.verbose, format.header()}, format);
}

}  // namespace curvlog
