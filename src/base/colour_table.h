#pragma once

#include <array>

namespace curvlog {

// 256 flags, one per colour index 0-255; a set flag marks a listed value (/T and /E lists).
using ColourTable = std::array<bool, 256>;

}  // namespace curvlog
