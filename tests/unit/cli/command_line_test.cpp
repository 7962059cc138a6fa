// The command-line stages in the driver's order, each table row one command line: options,
// the value range and the file names.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/version.h"
#include "cli/files.h"
#include "cli/options.h"
#include "cli/value_range.h"
#include "test_support.h"

namespace curvlog {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

constexpr int kGoesOn = -1;  // the code of a run that goes on

std::string usage_text() {
  return printed_by(print_usage);
}

enum class Stage { kOptions, kFinish, kRange, kFiles };

struct Outcome {
  int code = kGoesOn;
  std::string printed;   // by the last stage only
  RunSettings settings;  // its arguments are gone
  bool input_open = false;
};

// The command-line stages in the driver's order up to last, or to the one that ends the run. A
// separator of 0 or above replaces the one that the options chose.
Outcome run_stages(const std::vector<std::string>& arguments, Stage last, int separator = -1) {
  std::vector<std::string> texts{"curvlog"};
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  RunSettings settings;
  settings.argument_count = static_cast<int>(texts.size());
  settings.arguments = pointers.data();
  platform::InputFile input;
  Outcome outcome;
  for (Stage stage : {Stage::kOptions, Stage::kFinish, Stage::kRange, Stage::kFiles}) {
    if (stage == last) testing::internal::CaptureStdout();
    Ending ending;
    if (stage == Stage::kOptions) {
      ending = parse_options(settings);
    } else if (stage == Stage::kFinish) {
      ending = finish_options(settings);
      if (separator >= 0) settings.decimal_separator = static_cast<char>(separator);
    } else if (stage == Stage::kRange) {
      ending = decide_mode_and_range(settings);
    } else if (!(ending = resolve_output_name(settings)) &&
               !(ending = resolve_input_name(settings))) {
      ending = open_input(settings, input);
    }
    outcome.code = ending ? static_cast<int>(*ending) : kGoesOn;
    if (stage == last) outcome.printed = testing::internal::GetCapturedStdout();
    if (stage == last || ending) break;
  }
  outcome.settings = settings;
  outcome.input_open = input.is_open();
  return outcome;
}

TEST(ParseOptions, ReadsLeadingOptionsAndColourLists) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // with code 2 the usage text follows
    int code;
    int option_count;
    std::vector<int> colours = {};  // the list of the last /T or /E that is accepted
  };
  const std::string banner = std::string("CURVLOG v") + kVersion + ", verbose mode\n\n";
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
      {{"/V"}, std::string("CURVLOG v") + kVersion + "\n\n", 0, 0},
      {{"/?"}, "\n" + usage_text(), 0, 0},
      {{"/CV", "1"}, "\nInvalid option: /CV\n\n", 2, 0},
      {{"/E", "1"}, "\nInvalid option: /E\n\n", 2, 0},
      {{"/?x", "1"}, "\nError: invalid number of arguments\n\n", 2, 0},  // before the length
      // No option letter is a digit: a negative number ends the options.
      {{"/C", "-100", "-200"}, "", kGoesOn, 1},
      {{"-.5", "-2"}, "", kGoesOn, 0},
      {{"-.", "-2"}, "\nInvalid option: -.\n\n", 2, 0},
      {{"/5", "-2"}, "\nInvalid option: /5\n\n", 2, 0},
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

  const Outcome cancelled = [] {
    const Cancelled event;
    return run_stages({"/X", "1"}, Stage::kOptions);
  }();
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

TEST(InputNameParts, DirectoryReferencesAndDirectoryPart) {
  for (const char* name : {"data/", "/", "data/.", "data/..", ".", "..", "/.", "./"}) {
    EXPECT_TRUE(names_directory(name)) << name;
  }
  for (const char* name : {"graph.", "a..", "data/...", "...", "data/.x", ".hidden", "data"}) {
    EXPECT_FALSE(names_directory(name)) << name;
  }
  EXPECT_EQ(filemask_directory_length("*.pcx"), 0u);
  EXPECT_EQ(filemask_directory_length("/a/b/*"), 5u);
}

TEST(FileStages, ResolveCheckAndOpenInAScratchDirectory) {
  const fs::path root =
      fs::temp_directory_path() / ("curvlog_cli_" + std::to_string(std::random_device()()));
  const fs::path previous = fs::current_path();
  for (const char* directory : {"one", "two", "long"}) fs::create_directories(root / directory);
  fs::current_path(root);
  const std::string long_name = "a" + std::string(250, 'x');  // 251 characters
  for (const std::string& name :
       std::vector<std::string>{"one/a.pcx", "two/a.pcx", "two/b.pcx", "exists.prn", "CURVLOG.PRN",
                                "long/" + long_name}) {
    std::ofstream(name) << "content";
  }

  struct Case {
    std::vector<std::string> arguments;
    std::string message;
    int code;
    std::string input_name;  // when the run goes on
  };
  const std::string n259(259, 'n'), n260(260, 'n');
  const std::string invalid = "\nError: invalid length (";
  const std::string ambiguous = " matches more than one file\n\n";
  const Case cases[] = {
      {{"1", "0", n259}, "\nError: input file " + n259 + " doesn't exist\n\n", 4, ""},
      {{"1", "0", n260}, invalid + "260 characters) of input file\n" + n260 + "\n\n", 4, ""},
      {{"/T", ""}, invalid + "0 characters) of input file\n\n\n", 4, ""},
      {{"1", "0", "one/a.pcx", n259}, "", kGoesOn, "one/a.pcx"},
      {{"1", "0", "in", n260}, invalid + "260 characters) of output file\n" + n260 + "\n\n", 4, ""},
      {{"1", "0", "in", ""}, invalid + "0 characters) of output file\n\n\n", 4, ""},
      // The directory part and the match: 8 + 251 characters fit, 9 + 251 do not.
      {{"1", "0", ".//long/a*", "out"}, "", kGoesOn, ".//long/" + long_name},
      {{"1", "0", "././long/a*", "out"},
       invalid + "260 characters) of input file\n././long/" + long_name + "\n\n",
       4,
       ""},
      {{"1", "0", "one/*.PCX", "out"}, "", kGoesOn, "one/a.pcx"},
      {{"1", "0", "two/a.*", "out"}, "", kGoesOn, "two/a.pcx"},
      {{"1", "0", "two/?.pcx", "out"}, "Error: filemask two/?.pcx" + ambiguous, 4, ""},
      {{"1", "0", "one/*", "out"}, "Error: filemask one/*" + ambiguous, 4, ""},  // ".", ".."
      {{"1", "0", "one/*.tga", "out"}, "Error: file not found (2)\n\n", 4, ""},
      {{"1", "0", "one/..", "out"}, "\nError: invalid filemask of input file one/..\n\n", 4, ""},
      {{"/T", "one/"}, "\nError: invalid filemask of input file one/\n\n", 4, ""},
      {{"1", "0", "no.pcx", "exists.prn"}, "\nError: input file no.pcx doesn't exist\n\n", 4, ""},
      {{"1", "0", "one/a.pcx"}, "\nError: output file CURVLOG.PRN already exists\n\n", 8, ""},
      {{"/T", "one/a.pcx"}, "", kGoesOn, "one/a.pcx"},
      {{"/V", "/T", "one/*.pcx"}, "Input filename: one/a.pcx\n", kGoesOn, "one/a.pcx"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run_stages(c.arguments, Stage::kFiles);
    const std::string label = c.arguments.back().substr(0, 20);
    EXPECT_EQ(outcome.code, c.code) << label;
    EXPECT_EQ(outcome.printed, c.message) << label;
    EXPECT_EQ(outcome.input_open, c.code == kGoesOn) << label;
    EXPECT_TRUE(c.code != kGoesOn || outcome.settings.input_name == c.input_name) << label;
  }
  fs::current_path(previous);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace curvlog
