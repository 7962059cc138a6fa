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
      {6, "12.35", 5},   // exactly fills the buffer with its terminator
      {5, "12.35", -1},  // one short: an error, not a cut text
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
  const Case cases[] = {{0, true}, {1, true}, {2, true},  {3, false},  {4, false},
                        {5, true}, {6, true}, {7, false}, {255, false}};
  for (const Case& c : cases) {
    reset_cancel_flag_for_testing();
    EXPECT_EQ(handle_console_control(c.type), c.handled) << c.type;
    EXPECT_EQ(cancel_requested(), c.handled) << c.type;
  }
  reset_cancel_flag_for_testing();
}

}  // namespace
}  // namespace curvlog
