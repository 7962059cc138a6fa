#pragma once

#include <cstdint>

#include "base/exit_code.h"
#include "base/input_file.h"

namespace curvlog {

// The one driver of uncompressed pixel data: the data is one stretch of the file, handed to a
// task in spans in file order. A big stretch of a regular file is read in two parts at once,
// the second half by a second thread while this one takes the first: copying the bytes out of
// the system's file cache is most of a big run's time, and so it runs on two processors. Any
// other stretch is taken front to back from the input's own buffer. Either way the run reports
// what a front-to-back pass would: the first fault in file order.

// Takes the span of count pixel bytes that begins with pixel index first (from the start of
// the stretch). Returns count, or the index within the span of a pixel that ends the read (a
// fault of the content, which the task notes in its context). Each part's spans come in file
// order, each part from one thread.
using PixelSpanTask = std::uint32_t (*)(void* context, std::uint64_t first,
                                        const std::uint8_t* data, std::uint32_t count);

// Where the read polls the cancel flag: before each span is read (as the 8-bit decode polls
// before each pixel), after it is read and before it is taken (as the 1-bit decode polls after
// each byte it read), or not at all (the census).
enum class CancelCheckpoint { kNone, kBeforeEachRead, kAfterEachRead };

// Below this many pixel bytes a second thread costs more than it saves.
inline constexpr std::uint64_t kTwoPartMinimum = std::uint64_t{8} << 20;

// The stretch and what takes it.
struct PixelData {
  std::uint64_t offset;  // of the first pixel byte in the file, where the input stands now
  std::uint64_t bytes;
  std::uint64_t unit;  // the second part starts at a multiple of this (a row, say)
  CancelCheckpoint checkpoint;
  PixelSpanTask task;
  void* contexts[2];  // of the first part (and of a front-to-back read) and of the second
};

// Reads the stretch, in two parts from two_part_minimum bytes on where that can be had (a
// regular file, a second thread and memory for its buffers). Nothing comes back when every
// byte was taken, or when a task stopped at a fault of the content: *fault_part is then the
// part whose context holds it (0 or 1), else -1. A cancellation ends the run with 0; a failed
// read or an early end of the file prints its message and ends the run with 5 or 6.
Ending read_pixel_data(InputFile& input, const PixelData& data,
                       std::uint64_t two_part_minimum, const char* input_name, int* fault_part);

}  // namespace curvlog
