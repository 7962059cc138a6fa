#include "image/colour_select.h"

namespace curvlog {

bool items_cover(const ColourList& list, std::uint32_t colour) {
  const CensusColour c = unpack_colour(colour);
  for (unsigned i = 0; i < list.item_count; ++i) {
    if (list.items[i].covers(c.red, c.green, c.blue)) return true;
  }
  return false;
}

ColourTable listed_values(const ColourList& list, const CensusColour* colours, unsigned entries) {
  ColourTable values = list.indices;
  if (list.item_count == 0) return values;
  for (unsigned v = 0; v < entries && v < 256; ++v) {
    const CensusColour c = colours[v];
    if (items_cover(list, pack_colour(c.red, c.green, c.blue))) values[v] = true;
  }
  return values;
}

}  // namespace curvlog
