#include <gtest/gtest.h>

#include <string>

#include "app/cancel.h"
#include "app/console.h"

namespace curvlog {
namespace {

TEST(BufferFormatter, FitsOrFailsWithoutTruncating) {
  struct Case {
    std::size_t capacity;
    const char* text;
    int expected_length;
  };
  const Case cases[] = {
      {80, "12.35", 5},
      {6, "12.35", 5},   // exactly fills the buffer with its terminator
      {5, "12.35", -1},  // one short: an error, not a cut text
      {1, "", 0},
      {1, "x", -1},
  };
  for (const Case& c : cases) {
    char buffer[80] = "untouched";
    const int length = format_into(buffer, c.capacity, "%s", c.text);
    EXPECT_EQ(length, c.expected_length) << c.text << " in " << c.capacity;
    EXPECT_EQ(std::string(buffer), length < 0 ? std::string() : std::string(c.text));
  }
}

TEST(ConsoleControlHandler, HandlesTheFiveEndingEventsOnly) {
  struct Case {
    unsigned long type;
    bool handled;
  };
  const Case cases[] = {{0, true},  {1, true},  {2, true},  {3, false}, {4, false},
                        {5, true},  {6, true},  {7, false}, {255, false}};
  for (const Case& c : cases) {
    reset_cancel_flag_for_testing();
    EXPECT_EQ(handle_console_control(c.type), c.handled) << c.type;
    EXPECT_EQ(cancel_requested(), c.handled) << c.type;
  }
  reset_cancel_flag_for_testing();
}

TEST(UsageText, HasItsThirteenLinesAndBlankSeparators) {
  testing::internal::CaptureStdout();
  print_usage();
  const std::string text = testing::internal::GetCapturedStdout();
  EXPECT_EQ(text.rfind("Usage: CURVLOG.EXE [options] [<high> <low> [<input> [<output>]]]\n\n", 0),
            0u);
  std::size_t lines = 0;
  std::size_t blank = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    if (i > 0 && text[i - 1] == '\n') ++blank; else ++lines;
  }
  EXPECT_EQ(lines, 13u);
  EXPECT_EQ(blank, 6u);
  EXPECT_NE(text.find("output: optional, name of PRN output file (default: CURVLOG.PRN)\n\n"),
            std::string::npos);
}

}  // namespace
}  // namespace curvlog
