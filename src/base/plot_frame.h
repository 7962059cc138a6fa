#pragma once

// What the user tells of the plot in the picture's own coordinates: pixel indices 0-based, x to
// the right, y down, a pixel's centre at its index.

#include <cmath>
#include <cstdint>

namespace curvlog {

// A box of pixels, both edges included; an empty box has left > right or top > bottom.
struct PixelBox {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = -1;
  std::int32_t bottom = -1;

  bool empty() const { return left > right || top > bottom; }
  bool holds(std::int32_t x, std::int32_t y) const {
    return x >= left && x <= right && y >= top && y <= bottom;
  }
  // The part of the box inside a picture of width x height pixels.
  PixelBox clipped(std::int32_t width, std::int32_t height) const {
    PixelBox box{left < 0 ? 0 : left, top < 0 ? 0 : top, right >= width ? width - 1 : right,
                 bottom >= height ? height - 1 : bottom};
    return box;
  }
};

// The most mask boxes one /M list may hold.
inline constexpr unsigned kMaxMasks = 64;

// The plot area (/R) and the masks (/M): only pixels inside the area and outside every mask can
// be data, and only they are counted by a census.
struct PlotFrame {
  bool has_area = false;
  PixelBox area;
  PixelBox masks[kMaxMasks];
  unsigned mask_count = 0;
};

// Two reference pixels (rows for /Y, columns for /X) and their values: every pixel's value
// follows linearly from the two, or linearly in log10 when log is set (both values > 0).
struct AxisScale {
  double pixel[2] = {0.0, 1.0};
  double value[2] = {0.0, 1.0};
  bool log = false;

  double at(double position) const {
    const double t = (position - pixel[0]) / (pixel[1] - pixel[0]);
    if (!log) return value[0] + t * (value[1] - value[0]);
    const double a = std::log10(value[0]), b = std::log10(value[1]);
    return std::pow(10.0, a + t * (b - a));
  }
};

}  // namespace curvlog
