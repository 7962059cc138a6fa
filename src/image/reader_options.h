#pragma once

#include <cstdint>

#include "base/colour_table.h"
#include "base/plot_frame.h"
#include "image/classify.h"
#include "image/two_part_read.h"

namespace curvlog {

// What the readers and the colour census take from the command line, and two choices of how
// to read that the run leaves at their defaults (tests vary them, so that every way is tried).
struct ReaderOptions {
  const char* input_name = "";  // as quoted in messages
  bool verbose = false;
  bool census = false;                   // list the pixel values instead of decoding them
  const ColourList* selected = nullptr;  // /T<list>: the curve's values and colours; null:
                                         // black&white
  const ColourList* excluded = nullptr;  // /E<list>: what the census leaves out; null: none
  char decimal_separator = 0;            // for the census's shares; 0 keeps the dot
  const PlotFrame* frame = nullptr;      // /R and /M: what a census counts; null: every pixel
  std::uint8_t* grey_plane = nullptr;    // /O: a byte per pixel: its grey, bit 0 clear

  ClassifyWidth widest_step = ClassifyWidth::k256;
  std::uint64_t two_part_minimum = kTwoPartMinimum;
};

}  // namespace curvlog
