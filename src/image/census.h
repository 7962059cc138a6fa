#pragma once

#include <cstddef>
#include <cstdint>

#include "base/exit_code.h"
#include "image/colour_select.h"
#include "base/input_file.h"
#include "image/reader_options.h"
#include "image/tga.h"

namespace curvlog {

// How many pixels carry each 8-bit value, and the value that most of them carried so far (a
// graph's background), which the vector step counts in bulk. Starts zero-filled.
struct Histogram {
  std::uint32_t counts[256];
  std::uint8_t background;
};

// Adds count pixels to the histogram. Returns the index of the first one without a colour
// (value at or beyond entries), or count when there is none.
std::uint32_t count_pixel_span(const std::uint8_t* in, std::uint32_t count, unsigned entries,
                               Histogram& histogram);

// A pixel value without an entry in the colour map (or palette): prints its message and
// returns code 6.
ExitCode report_outside_map(unsigned value, unsigned entries, const char* input_name);

// Formats a census line without its line end, separator substitution applied: head, then
// " %11lu %7.2lf%%" with the count and its share of total. Returns the length, or -1 when it
// does not fit.
int format_share_line(char* buffer, std::size_t capacity, const char* head, std::uint32_t count,
                      std::uint32_t total, char separator);

// Formats one listing line of a value: "%3d  #%02X%02X%02X %11lu %7.2lf%%", as above.
int format_census_line(char* buffer, std::size_t capacity, unsigned index, CensusColour colour,
                       std::uint32_t count, std::uint32_t total, char separator);

// Lists every value below entries (at most 256) that some pixel carries and that is not
// excluded (by index, or by a colour item that covers its colour), with its colour, count and
// share, and ends the run: 0, or 6 when no pixel counts.
ExitCode list_census(const Histogram& histogram, const CensusColour* colours, unsigned entries,
                     const ReaderOptions& options);

// Reads the colour map of a TGA file positioned at it into table (colour-map length entries),
// one byte per request.
Ending tga_read_colour_map(InputFile& input, const TgaHeader& header,
                           const char* input_name, CensusColour* table);

// Counts every pixel value of a valid 8-bit TGA file positioned just after its image ID, lists
// the values in use and ends the run.
Ending run_colour_census(InputFile& input, const TgaHeader& header, const ReaderOptions& options);

}  // namespace curvlog
