#include "image/colour_census.h"

#include <algorithm>
#include <cstdint>

#include "base/console.h"
#include "base/number_text.h"
#include "base/owners.h"
#include "image/census.h"
#include "image/colour_select.h"

namespace curvlog {
namespace {

constexpr unsigned kGroupDistance = 60;  // as a colour item's default
constexpr std::uint32_t kListedGroups = 32;

struct Tally {
  std::uint32_t colour;
  std::uint32_t pixels;
};

// Most pixels first; ties to the lower colour.
bool before(const Tally& a, const Tally& b) {
  return a.pixels != b.pixels ? a.pixels > b.pixels : a.colour < b.colour;
}

void print_share_line(const char* head, std::uint32_t pixels, std::uint32_t total, char separator) {
  char line[kNumberBufferSize];
  format_share_line(line, sizeof line, head, pixels, total, separator);
  print("%s\n", line);
}

}  // namespace

ExitCode report_colour_table_refused() {
  print("Error: unable to allocate memory to store color values\n\n");
  return ExitCode::kOutOfMemory;
}

ExitCode list_main_colours(const ColourCounts& counts, const ReaderOptions& options) {
  const std::uint32_t distinct = std::max(counts.size(), std::uint32_t{1});
  const CArray<Tally> colours = allocate_zeroed<Tally>(distinct);
  const CArray<Tally> groups = allocate_zeroed<Tally>(distinct);
  if (!colours || !groups) return report_colour_table_refused();
  std::uint32_t kept = 0, total = 0;
  counts.each([&](std::uint32_t colour, std::uint32_t pixels) {
    if (options.excluded != nullptr && items_cover(*options.excluded, colour)) return;
    colours[kept++] = Tally{colour, pixels};
    total += pixels;
  });
  print("\n");
  if (total == 0) {
    print("Error: no data pixels found in file %s\n\n", options.input_name);
    return ExitCode::kInvalidContent;
  }
  std::sort(colours.get(), colours.get() + kept, before);
  // Group first colours lie more than 60 apart, so there are a few hundred groups at most.
  std::uint32_t group_count = 0;
  for (std::uint32_t i = 0; i < kept; ++i) {
    const CensusColour c = unpack_colour(colours[i].colour);
    std::uint32_t g = 0;
    while (g < group_count) {
      const CensusColour first = unpack_colour(groups[g].colour);
      if (ColourItem{first.red, first.green, first.blue, kGroupDistance}.covers(c.red, c.green,
                                                                                c.blue)) {
        break;
      }
      ++g;
    }
    if (g == group_count) groups[group_count++] = Tally{colours[i].colour, 0};
    groups[g].pixels += colours[i].pixels;
  }
  std::sort(groups.get(), groups.get() + group_count, before);
  std::uint32_t others = 0;
  for (std::uint32_t g = 0; g < group_count; ++g) {
    if (g >= kListedGroups) {
      others += groups[g].pixels;
      continue;
    }
    const CensusColour c = unpack_colour(groups[g].colour);
    char head[16];
    format_into(head, sizeof head, "     #%02X%02X%02X", unsigned{c.red}, unsigned{c.green},
                unsigned{c.blue});
    print_share_line(head, groups[g].pixels, total, options.decimal_separator);
  }
  if (group_count > kListedGroups) {
    print_share_line("     others ", others, total, options.decimal_separator);
  }
  return ExitCode::kSuccess;
}

}  // namespace curvlog
