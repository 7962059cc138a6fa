#pragma once

#include <cstddef>
#include <cstdint>

#include "app/exit_code.h"
#include "app/settings.h"
#include "image/tga.h"
#include "platform/platform.h"

namespace curvlog {

// Formats one listing line without its line end, separator substitution applied:
// "%3d  #%02X%02X%02X %11lu %7.2lf%%". Returns the length, or -1 when it does not fit.
int format_census_line(char* buffer, std::size_t capacity, unsigned index, std::uint8_t red,
                       std::uint8_t green, std::uint8_t blue, std::uint32_t count,
                       std::uint32_t total, char separator);

// Counts every pixel value of a valid 8-bit TGA file positioned just after its image ID, lists
// the values in use and ends the run.
Ending run_colour_census(platform::InputFile& input, const TgaHeader& header,
                         const RunSettings& settings);

}  // namespace curvlog
