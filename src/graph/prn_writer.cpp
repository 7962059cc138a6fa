#include "graph/prn_writer.h"

#include <cmath>
#include <cstdint>

#include "base/console.h"
#include "graph/prn_line.h"

namespace curvlog {
namespace {

// The same limit as for high and low: a magnitude below 1e48 prints as at most 53 characters
// with two decimals, which leaves the other fields of a PRN line within 79 characters.
constexpr double kValueLimit = 1e48;

class PrnLineFormat final : public ColumnLineFormat {
 public:
  PrnLineFormat(const PrnOptions& options, std::int32_t working_height)
      : options_(options), working_height_(working_height) {}

  int column_line(const ColumnRecord* records, std::int32_t x,
                  char (&line)[kPrnLineCapacity]) const override {
    const ColumnRecord& record = records[x];
    const double value =
        options_.rows != nullptr
            ? column_value(record, working_height_, *options_.rows, options_.row_offset)
            : column_value(record, working_height_, options_.high, options_.low);
    return format_prn_line(std::uint32_t(x) + 1, value, record.gap_count, jump_shown(records, x),
                           options_.decimal_separator, line);
  }

 private:
  const PrnOptions& options_;
  std::int32_t working_height_;
};

}  // namespace

Ending write_prn_file(ColumnTable& table, std::int32_t working_height, const PrnOptions& options) {
  const PrnLineFormat format(options, working_height);
  return write_line_file(table, LineFileOptions{options.output_name, options.verbose}, format);
}

Ending check_row_values(const AxisScale& rows, std::int32_t height) {
  // Both scales are monotonic, so the outermost rows hold the largest magnitude.
  const double first = rows.at(0.0);
  const double last = rows.at(double(height - 1));
  const double largest = std::fabs(first) > std::fabs(last) ? first : last;
  if (std::isfinite(first) && std::isfinite(last) && std::fabs(largest) < kValueLimit) {
    return kGoOn;
  }
  print(
      "\nError: the values that /Y gives the rows of the picture reach %g, beyond what a PRN "
      "line holds\n\n",
      std::isfinite(first) ? largest : first);
  return ExitCode::kCommandLine;
}

}  // namespace curvlog
