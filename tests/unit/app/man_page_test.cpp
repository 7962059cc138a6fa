// The manual page keeps in step with the usage text: every option and argument that
// "curvlog /?" explains has an entry in the page's OPTIONS or ARGUMENTS section, and the page
// documents nothing the program does not take.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "app/console.h"

namespace curvlog {
namespace {

// "/E<color(s)>" and "/E\fIlist\fR" both become "/E list"; arguments stay as they are.
std::string entry_key(const std::string& tag) {
  if (tag.size() > 2 && tag[0] == '/') return tag.substr(0, 2) + " list";
  return tag;
}

std::set<std::string> usage_entries() {
  testing::internal::CaptureStdout();
  print_usage();
  std::istringstream usage(testing::internal::GetCapturedStdout());
  std::set<std::string> entries;
  for (std::string line; std::getline(usage, line);) {
    // Entry lines start with the option or argument and a colon: "/C: crop ...", "low:  ...";
    // the heading lines ("Usage: ...", "Options (...):") do not.
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || line.find(' ') < colon) continue;
    if (line[0] != '/' && !std::islower(static_cast<unsigned char>(line[0]))) continue;
    entries.insert(entry_key(line.substr(0, colon)));
  }
  return entries;
}

// The text of a man tag line: font macros and escapes removed, "\-" as "-".
std::string tag_text(const std::string& line) {
  std::string text = line;
  if (!text.empty() && text[0] == '.') {
    const std::size_t blank = text.find(' ');
    text = blank == std::string::npos ? "" : text.substr(blank + 1);
  }
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'f') {
      i += 2;  // \fB, \fI, \fR, \fP
    } else if (text[i] == '\\' && i + 1 < text.size()) {
      plain += text[++i];
    } else if (text[i] != ' ' && text[i] != '"') {
      plain += text[i];  // .BI joins its words without a blank
    }
  }
  return plain;
}

std::set<std::string> man_entries(const std::string& path, std::string* title) {
  std::ifstream page(path);
  std::set<std::string> entries;
  std::string section;
  bool tag_follows = false;
  for (std::string line; std::getline(page, line);) {
    if (line.rfind(".TH ", 0) == 0) *title = line;
    if (line.rfind(".SH ", 0) == 0) {
      section = line.substr(4);
      tag_follows = false;
    } else if (line == ".TP") {
      tag_follows = section == "OPTIONS" || section == "ARGUMENTS";
    } else if (tag_follows) {
      entries.insert(entry_key(tag_text(line)));
      tag_follows = false;
    }
  }
  return entries;
}

TEST(ManPage, ListsExactlyTheOptionsAndArgumentsOfTheUsageText) {
  const std::set<std::string> usage = usage_entries();
  ASSERT_EQ(usage.size(), 11u) << "usage text entries no longer recognised";
  std::string title;
  const std::set<std::string> man = man_entries(CURVLOG_MAN_PAGE, &title);
  EXPECT_EQ(man, usage);
  EXPECT_NE(title.find(std::string("CURVLOG ") + kVersion), std::string::npos) << title;
}

}  // namespace
}  // namespace curvlog
