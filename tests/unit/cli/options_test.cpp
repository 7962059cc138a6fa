#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/cancel.h"
#include "command_line.h"

namespace curvlog {
namespace {

using namespace testing_support;

TEST(ParseOptions, ReadsLeadingOptionsAndColourLists) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // with code 2 the usage text follows
    int code;
    int option_count;
    std::vector<int> colours = {};  // the list of the last /T or /E that is accepted
  };
  const std::string banner = "CURVLOG v1.5.2, verbose mode\n\n";
  const std::string digit = "\nCharacter in option ";
#ifdef _WIN32
  const bool slash_path = false;  // no Windows path starts with the switch
#else
  const bool slash_path = true;
#endif
  const Case cases[] = {
      {{"/V", "/v", "1"}, banner + "\nWarning: option /V is reset by option /v\n\n", kGoesOn, 2},
      {{"/C", "-c", "1"}, "\nWarning: previous option /C is reset by option -c\n\n", kGoesOn, 2},
      {{"/T5", "/T"}, "\nWarning: previous option /T5 is reset by option /T\n\n", kGoesOn, 2, {5}},
      {{"/V"}, "CURVLOG v1.5.2\n\n", 0, 0},
      {{"/?"}, "\n" + usage_text(), 0, 0},
      {{"/CV", "1"}, "\nInvalid option: /CV\n\n", 2, 0},
      {{"/E", "1"}, "\nInvalid option: /E\n\n", 2, 0},
      {{"/?x", "1"}, "\nError: invalid number of arguments\n\n", 2, 0},  // before the length
      {{"-100", "-200"}, "\nInvalid option: -100\n\n", 2, 0},
      {{"-", "/C"}, "", kGoesOn, 0},
      {{"/C", "1", "/C"}, "", kGoesOn, 1},
      // A path where paths may start with "/" (POSIX), an option elsewhere.
      {{"/C", "/home/graph.pcx", "/D"},
       slash_path ? "" : "\nInvalid option: /home/graph.pcx\n\n",
       slash_path ? kGoesOn : 2,
       slash_path ? 1 : 0},
      {{"/T1,,2"}, "", kGoesOn, 1, {1, 2}},
      {{"/T0001x"}, "", kGoesOn, 1, {1}},  // the fifth character is never examined
      {{"/t255,0"}, "", kGoesOn, 1, {0, 255}},
      {{"/T,,,"}, "\nInvalid option: /T,,,\n\n", 2, 0},
      {{"/T256"}, "\nInvalid option: /T256\n\n", 2, 0},
      {{"/E12345"}, "\nInvalid option: /E12345\n\n", 2, 0},  // read as 1234
      {{"/T1a"}, digit + "/T1a is not a digit: a\n\n", 2, 0},
      {{"/E3,4,3"}, "Error: value 3 already excluded\n\n", 2, 0},
      {{"/T03,3"}, "Error: color index value 3 already selected\n\n", 2, 0},
  };
  const std::string usage = usage_text();
  for (const Case& c : cases) {
    const Outcome outcome = run_stages(c.arguments, Stage::kOptions);
    const RunSettings& s = outcome.settings;
    EXPECT_EQ(outcome.code, c.code) << c.arguments[0];
    EXPECT_EQ(outcome.printed, c.code == 2 ? c.message + usage : c.message) << c.arguments[0];
    if (c.code != kGoesOn) continue;
    EXPECT_EQ(s.option_count, c.option_count) << c.arguments[0];
    ColourTable expected{};
    for (int value : c.colours) expected[static_cast<std::size_t>(value)] = true;
    EXPECT_EQ(s.exclude_option != 0 ? s.excluded_colours : s.selected_colours, expected);
  }
}

TEST(ParseOptions, PositionsDoNotWrapAndCancellationComesFirst) {
  std::vector<std::string> arguments(300, "/C");
  arguments.push_back("1");
  const Outcome many = run_stages(arguments, Stage::kOptions);
  EXPECT_EQ(many.settings.option_count, 300);
  EXPECT_EQ(many.settings.crop, 300);

  handle_console_control(0);
  const Outcome cancelled = run_stages({"/X", "1"}, Stage::kOptions);
  reset_cancel_flag_for_testing();
  EXPECT_EQ(cancelled.code, 0);
  EXPECT_EQ(cancelled.printed, "");  // the invalid option is never looked at
}

TEST(FinishOptions, QueriesTheSeparatorAndEchoesTheSettings) {
#ifdef _WIN32
  GTEST_SKIP() << "the separator comes from the system settings, not the environment";
#else
  struct Case {
    const char* locale;
    std::vector<std::string> arguments;
    std::string message;  // for code 3 only the start, before the error number
    int code;
    char separator;
  };
  const Case cases[] = {
      {"C",
       {"/C", "/V", "/D", "/E4", "/T3,255,0", "1"},
       "Using system's decimal separator \".\".\n\n"
       "Using TGA input file format instead of PCX file format.\n\n"
       "Cropping enabled, highest and lowest pixel represent highest and lowest value.\n\n"
       "Color index value representing data pixels:   0\n"
       "Color index value representing data pixels:   3\n"
       "Color index value representing data pixels: 255\n\n",
       kGoesOn,
       0},
      {"xx_YY.UTF-8", {"/D", "1"}, "\nError: cannot query system's decimal separator (", 3, 0},
  };
  const char* saved = std::getenv("LC_ALL");
  const std::string old_locale = saved != nullptr ? saved : "";
  for (const Case& c : cases) {
    setenv("LC_ALL", c.locale, 1);
    const Outcome outcome = run_stages(c.arguments, Stage::kFinish);
    EXPECT_EQ(outcome.code, c.code) << c.locale;
    EXPECT_EQ(outcome.printed.substr(0, c.code == 3 ? c.message.size() : std::string::npos),
              c.message);
    EXPECT_EQ(outcome.settings.decimal_separator, c.separator) << c.locale;
  }
  if (saved != nullptr)
    setenv("LC_ALL", old_locale.c_str(), 1);
  else
    unsetenv("LC_ALL");
#endif
}

}  // namespace
}  // namespace curvlog
