#pragma once

// The pixels of a picture row that the plot frame lets through: inside the plot area and
// outside every mask. A census counts only them. Readers hand pixels a row piece at a time,
// so the frame is asked for the runs of one piece: few branches per piece, none per pixel.

#include <algorithm>
#include <cstdint>

#include "base/plot_frame.h"

namespace curvlog {

// A run of pixels [begin, end), as indices into the row piece that was asked about.
struct PixelSpan {
  std::int32_t begin;
  std::int32_t end;
};

// At most this many runs: each mask cuts one run in two at most.
inline constexpr unsigned kMaxFrameSpans = kMaxMasks + 1;

// The piece holds count pixels of picture row y at the columns x0, x0 + step, x0 + 2 * step,
// ... (step 1 but in the passes of an interlaced picture). Writes the runs of its pixels that
// the frame lets through, left to right and not overlapping, and returns their number. The frame is
// in picture coordinates and may reach beyond the picture; only the piece's columns matter.
inline unsigned frame_spans(const PlotFrame& frame, std::int32_t y, std::int32_t x0,
                            std::int32_t count, std::int32_t step,
                            PixelSpan (&spans)[kMaxFrameSpans]) {
  if (count <= 0) return 0;
  // Columns [low, high) in 64 bits: a box edge plus one cannot overflow.
  std::int64_t low = x0;
  std::int64_t high = std::int64_t{x0} + std::int64_t{count - 1} * step + 1;
  if (frame.has_area) {
    const PixelBox& area = frame.area;
    if (y < area.top || y > area.bottom) return 0;
    low = std::max<std::int64_t>(low, area.left);
    high = std::min<std::int64_t>(high, std::int64_t{area.right} + 1);
    if (low >= high) return 0;
  }
  // The masks that cross the row within [low, high), as column runs ordered by their start.
  struct Cut {
    std::int64_t begin, end;
  } cuts[kMaxMasks];
  unsigned cut_count = 0;
  for (unsigned m = 0; m < frame.mask_count; ++m) {
    const PixelBox& mask = frame.masks[m];
    if (y < mask.top || y > mask.bottom || mask.left >= high || mask.right < low) continue;
    const Cut cut{std::max<std::int64_t>(mask.left, low),
                  std::min<std::int64_t>(std::int64_t{mask.right} + 1, high)};
    unsigned at = cut_count++;
    for (; at > 0 && cuts[at - 1].begin > cut.begin; --at) cuts[at] = cuts[at - 1];
    cuts[at] = cut;
  }
  // The columns between the cuts, as pixel indices of the piece: column c holds the first
  // pixel at or after index (c - x0) / step.
  unsigned span_count = 0;
  auto add = [&](std::int64_t begin, std::int64_t end) {
    const auto first = std::int32_t((begin - x0 + step - 1) / step);
    const auto past = std::int32_t((end - x0 + step - 1) / step);
    if (first < past) spans[span_count++] = PixelSpan{first, past};
  };
  std::int64_t at = low;
  for (unsigned c = 0; c < cut_count; ++c) {
    if (cuts[c].begin > at) add(at, cuts[c].begin);
    at = std::max(at, cuts[c].end);
  }
  if (at < high) add(at, high);
  return span_count;
}

}  // namespace curvlog
