// What the command-line transcripts cannot show: option counts past 255, whether a list named
// an index, and a cancellation that comes before the first option is looked at.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "test_support.h"

namespace curvlog {
namespace {

using namespace testing_support;

// Parses the options of a command line; returns what parse_options ended with (-1: goes on).
int parse(std::vector<std::string> texts, RunSettings& settings, std::string* printed) {
  texts.insert(texts.begin(), "curvlog");
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  settings.argument_count = static_cast<int>(texts.size());
  settings.arguments = pointers.data();
  Ending ending;
  *printed = printed_by([&] { ending = parse_options(settings); });
  settings.arguments = nullptr;  // the texts are gone
  return ending ? static_cast<int>(*ending) : -1;
}

TEST(ParseOptions, CountsDoNotWrapAndCancellationComesFirst) {
  std::vector<std::string> many(300, "/C");
  many.push_back("1");
  RunSettings settings;
  std::string printed;
  EXPECT_EQ(parse(many, settings, &printed), -1);
  EXPECT_EQ(settings.option_count, 300);
  EXPECT_TRUE(settings.crop);

  const Cancelled event;
  RunSettings cancelled;
  EXPECT_EQ(parse({"/Q", "1"}, cancelled, &printed), 0);
  EXPECT_EQ(printed, "");  // the invalid option is never looked at
}

// The readers tell an index list from a list of colours only, which /V does not show.
TEST(ParseOptions, ListsKnowWhetherTheyNameAnIndex) {
  struct Case {
    const char* list;
    bool any_index;
    unsigned items;
  };
  for (const Case& c : {Case{"/T#0000ff~0", false, 1}, Case{"/T,#0000FF,1-1,#ffffff", true, 2},
                        Case{"/T7", true, 0}}) {
    RunSettings settings;
    std::string printed;
    EXPECT_EQ(parse({c.list, "1", "0"}, settings, &printed), -1) << printed;
    EXPECT_EQ(settings.selected.any_index, c.any_index) << c.list;
    EXPECT_EQ(settings.selected.item_count, c.items) << c.list;
    EXPECT_TRUE(settings.colour_list_given);
  }
}

}  // namespace
}  // namespace curvlog
