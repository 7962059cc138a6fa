// The manual page keeps in step with the usage text: the options and arguments that
// "curvlog /?" explains are exactly the entries of the page's OPTIONS and ARGUMENTS sections.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "base/version.h"
#include "cli/options.h"

namespace curvlog {
namespace {

// "/E<color(s)>" (usage) and ".BI /E list" (page) are both "/E list"; arguments stay as typed.
std::string entry_key(const std::string& tag) {
  return tag.size() > 2 && tag[0] == '/' ? tag.substr(0, 2) + " list" : tag;
}

TEST(ManPage, ListsExactlyTheOptionsAndArgumentsOfTheUsageText) {
  testing::internal::CaptureStdout();
  print_usage();
  std::istringstream usage(testing::internal::GetCapturedStdout());
  std::set<std::string> usage_entries;
  for (std::string line; std::getline(usage, line);) {
    // "/C: crop ...", "low:  ..."; not the headings "Usage: ..." and "Options (...):".
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || line.find(' ') < colon || line[0] == 'U') continue;
    usage_entries.insert(entry_key(line.substr(0, colon)));
  }
  ASSERT_EQ(usage_entries.size(), 11u) << "the usage text's entries are no longer recognised";

  std::ifstream page(CURVLOG_MAN_PAGE);
  std::set<std::string> page_entries;
  std::string section, title;
  bool tag_follows = false;
  for (std::string line; std::getline(page, line);) {
    if (line.rfind(".TH ", 0) == 0) title = line;
    if (line.rfind(".SH ", 0) == 0) section = line.substr(4);
    if (tag_follows) {
      // ".B /C", ".BI /E list", ".I high": the words after the font macro, joined.
      std::istringstream words(line.substr(line.find(' ') + 1));
      std::string tag;
      for (std::string word; words >> word;) tag += word;
      page_entries.insert(entry_key(tag));
    }
    tag_follows = line == ".TP" && (section == "OPTIONS" || section == "ARGUMENTS");
  }
  EXPECT_EQ(page_entries, usage_entries);
  EXPECT_NE(title.find(std::string("CURVLOG ") + kVersion), std::string::npos) << title;
}

}  // namespace
}  // namespace curvlog
