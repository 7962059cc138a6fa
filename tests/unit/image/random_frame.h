#pragma once

// Random plot frames for the tests of what a frame lets through, and the plain rule.

#include <algorithm>
#include <random>

#include "base/plot_frame.h"

namespace curvlog::testing_support {

// A random box around a picture of width x height pixels, sometimes reaching beyond it.
inline PixelBox random_box(std::mt19937& random, int width, int height) {
  auto edge = [&](int size) { return int(random() % unsigned(size + 8)) - 4; };
  const int x[2] = {edge(width), edge(width)}, y[2] = {edge(height), edge(height)};
  return {std::min(x[0], x[1]), std::min(y[0], y[1]), std::max(x[0], x[1]), std::max(y[0], y[1])};
}

inline PlotFrame random_frame(std::mt19937& random, int width, int height) {
  PlotFrame frame;
  frame.has_area = random() % 4 != 0;
  if (frame.has_area) frame.area = random_box(random, width, height);
  frame.mask_count = random() % 5;
  for (unsigned m = 0; m < frame.mask_count; ++m)
    frame.masks[m] = random_box(random, width, height);
  return frame;
}

inline bool frame_counts(const PlotFrame& frame, int x, int y) {
  if (frame.has_area && !frame.area.holds(x, y)) return false;
  for (unsigned m = 0; m < frame.mask_count; ++m) {
    if (frame.masks[m].holds(x, y)) return false;
  }
  return true;
}

}  // namespace curvlog::testing_support
