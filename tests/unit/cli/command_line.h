#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/console.h"
#include "cli/files.h"
#include "cli/options.h"
#include "cli/value_range.h"

namespace curvlog::testing_support {

inline constexpr int kGoesOn = -1;  // the code of a run that goes on

inline std::string usage_text() {
  testing::internal::CaptureStdout();
  print_usage();
  return testing::internal::GetCapturedStdout();
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
inline Outcome run_stages(const std::vector<std::string>& arguments, Stage last,
                          int separator = -1) {
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

}  // namespace curvlog::testing_support
