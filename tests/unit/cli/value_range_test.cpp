#include "cli/value_range.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"

namespace curvlog {
namespace {

using namespace testing_support;

TEST(DecideModeAndRange, ChoosesTheModeAndChecksCountAndRange) {
  struct Case {
    std::vector<std::string> arguments;
    char separator;
    std::string message;  // with code 2 the usage text follows
    int code;
    bool census;
    double high, low;
  };
  const std::string count = "\nError: invalid number of arguments\n\n";
  const std::string range = "\nError: invalid range, <high> must be a higher value than <low>\n\n";
  const std::string limit =
      "\nError: invalid range, <high> and <low> must lie between -1e48 and 1e48\n\n";
  // 2^1000 is exact in a double; its "%lf" text has over 300 characters.
  char huge[400];
  std::snprintf(huge, sizeof huge, "High: %.0f,000000\nLow: 0,000000\n", 0x1p1000);
  const Case cases[] = {
      {{"/E1", "/T", "100"}, 0, "", kGoesOn, true, 0, 0},  // the input name, not a number
      {{"/T5", "/T"}, 0, "", kGoesOn, true, 0, 0},         // the last /T has no list
      {{"/T", "2", "1"}, 0, "", kGoesOn, false, 2, 1},
      {{"-t", "/c", "x"}, 0, "\nError: invalid option combination (/c and -t)\n\n", 2, false, 0, 0},
      {{"/T5", "x"}, 0, count, 2, false, 0, 0},
      {{"/E1", "100", "0"}, 0, "\nInvalid option: /E1\n\n", 2, false, 0, 0},
      {{"1"}, 0, count, 2, false, 0, 0},
      {{"2", "1", "in", "out", "more"}, 0, count, 2, false, 0, 0},
      {{" -100", "-200"}, 0, "", kGoesOn, false, -100, -200},
      {{"abc", "-5"}, 0, "", kGoesOn, false, 0, -5},
      {{"2,5", "-1,5"}, 0, "", kGoesOn, false, 2, -1},
      {{"2,5", "0,5,5"}, ',', "", kGoesOn, false, 2.5, 0},  // only the last comma becomes "."
      {{"2.5", "-0x10"}, ',', "", kGoesOn, false, 2.5, -16},
      {{std::string(77, '0') + "1,5", "0"}, ',', "", kGoesOn, false, 1, 0},  // cut to 79
      {{"100", "100"}, 0, range, 2, false, 0, 0},
      {{"nan", "0"}, 0, range, 2, false, 0, 0},
      {{"inf", "0"}, 0, range, 2, false, 0, 0},
      {{"1e48", "0"}, 0, limit, 2, false, 0, 0},
      {{"9.9e47", "-9.9e47"}, 0, "", kGoesOn, false, 9.9e47, -9.9e47},
      {{"/V", "1", "-0,5"}, ',', "High: 1,000000\nLow: -0,500000\n", kGoesOn, false, 1, -0.5},
      {{"/V", "0", "1"}, 0, "High: 0.000000\nLow: 1.000000\n" + range, 2, false, 0, 0},
      {{"/V", "0x1p1000", "0"}, ',', huge + limit, 2, false, 0, 0},
  };
  const std::string usage = usage_text();
  for (const Case& c : cases) {
    const Outcome outcome = run_stages(c.arguments, Stage::kRange, c.separator);
    const RunSettings& s = outcome.settings;
    const std::string label = c.arguments[0] + " " + c.arguments.back();
    EXPECT_EQ(outcome.code, c.code) << label;
    EXPECT_EQ(outcome.printed, c.code == 2 ? c.message + usage : c.message) << label;
    if (c.code != kGoesOn) continue;
    EXPECT_EQ(s.census_mode, c.census) << label;
    EXPECT_TRUE(c.census || (s.high == c.high && s.low == c.low)) << label;
  }
}

}  // namespace
}  // namespace curvlog
