#include "cli/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "command_line.h"

namespace curvlog {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

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
