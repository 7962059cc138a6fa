#include "cli/plot_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/console.h"
#include "base/number_text.h"
#include "cli/options.h"

namespace curvlog {
namespace {

// The most items a list may hold: every mask box's four numbers.
constexpr std::size_t kMostItems = 4 * kMaxMasks;

// The list after the switch and the letter, cut at its commas.
struct ListItems {
  std::string_view items[kMostItems];
  std::size_t count = 0;
  bool too_many = false;
};

ListItems split_list(const char* argument) {
  ListItems list;
  std::string_view rest(argument + 2);
  for (;;) {
    const std::size_t comma = rest.find(',');
    if (list.count == kMostItems) {
      list.too_many = true;
      return list;
    }
    list.items[list.count++] = rest.substr(0, comma);
    if (comma == std::string_view::npos) return list;
    rest = rest.substr(comma + 1);
  }
}

Ending invalid_list(const char* argument) {
  print("\nInvalid list in option %s\n\n", argument);
  return plot_option_error();
}

// A pixel index: all of text, an optional "-" and decimal digits, within 32 bits.
bool read_pixel_index(std::string_view text, std::int32_t& value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && stop == end && error == std::errc();
}

// A decimal number with "." whatever the locale's separator: all of text, made of a sign,
// digits, "." and an exponent only (no blanks, hexadecimal, "inf" or "nan"), and finite.
bool read_decimal(std::string_view text, double& value) {
  if (text.empty() || text.size() >= kNumberBufferSize) return false;
  if (text.find_first_not_of("0123456789+-.eE") != std::string_view::npos) return false;
  char number[kNumberBufferSize];
  std::memcpy(number, text.data(), text.size());
  number[text.size()] = '\0';
  // The program never changes its locale, so the conversion reads ".".
  char* stop = nullptr;
  value = std::strtod(number, &stop);
  return stop == number + text.size() && std::isfinite(value);
}

// Four items from first on as a box with left <= right and top <= bottom.
bool read_box(const std::string_view* items, PixelBox& box) {
  return read_pixel_index(items[0], box.left) && read_pixel_index(items[1], box.top) &&
         read_pixel_index(items[2], box.right) && read_pixel_index(items[3], box.bottom) &&
         !box.empty();
}

// "<pixel>=<value>".
bool read_reference(std::string_view item, double& pixel, double& value) {
  const std::size_t equals = item.find('=');
  if (equals == std::string_view::npos) return false;
  return read_decimal(item.substr(0, equals), pixel) &&
         read_decimal(item.substr(equals + 1), value);
}

bool is_log_word(std::string_view item) {
  if (item.size() != 3) return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if ((item[i] | 0x20) != "log"[i]) return false;
  }
  return true;
}

}  // namespace

Ending parse_area(const char* argument, PixelBox& area) {
  const ListItems list = split_list(argument);
  if (list.count != 4 || !read_box(list.items, area)) return invalid_list(argument);
  return kGoOn;
}

Ending parse_masks(const char* argument, PlotFrame& frame) {
  const ListItems list = split_list(argument);
  if (list.too_many) {
    print("\nToo many boxes in option %s (at most %u)\n\n", argument, kMaxMasks);
    return plot_option_error();
  }
  if (list.count % 4 != 0) return invalid_list(argument);
  frame.mask_count = 0;
  for (std::size_t first = 0; first < list.count; first += 4) {
    if (!read_box(list.items + first, frame.masks[frame.mask_count])) {
      frame.mask_count = 0;
      return invalid_list(argument);
    }
    ++frame.mask_count;
  }
  return kGoOn;
}

Ending parse_axis(const char* argument, AxisKind kind, AxisScale& scale) {
  const ListItems list = split_list(argument);
  AxisScale read;
  if (list.count < 2 || list.count > 3 ||
      !read_reference(list.items[0], read.pixel[0], read.value[0]) ||
      !read_reference(list.items[1], read.pixel[1], read.value[1]) ||
      (list.count == 3 && !is_log_word(list.items[2]))) {
    return invalid_list(argument);
  }
  read.log = list.count == 3;
  if (read.pixel[0] == read.pixel[1]) {
    print("\nError: option %s names the same %s twice\n\n", argument,
          kind == AxisKind::kRows ? "row" : "column");
    return plot_option_error();
  }
  // Two equal values would give every pixel the same one.
  if (read.value[0] == read.value[1]) {
    print("\nError: option %s names the same value twice\n\n", argument);
    return plot_option_error();
  }
  if (read.log && (read.value[0] <= 0.0 || read.value[1] <= 0.0)) {
    print("\nError: option %s has a value of 0 or less on a log axis\n\n", argument);
    return plot_option_error();
  }
  scale = read;
  return kGoOn;
}

}  // namespace curvlog
