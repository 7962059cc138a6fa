#pragma once

#include <cstdint>

#include "base/exit_code.h"
#include "base/input_file.h"

namespace curvlog {

// Uncompressed pixel data is one stretch of the file, whose second half can be read and
// processed by a second thread while this one takes the first. Copying the bytes out of the
// system's file cache is most of a big run's time, and so it runs on two processors. What the
// reader reports is still what a front-to-back pass would: the first fault in file order.

// Takes the span of count pixel bytes that begins with pixel index first (from the start of
// the stretch). Returns count, or the index within the span of a pixel that ends the read (a
// fault of the content, which the caller notes in its context). Each part's spans come in file
// order, each part from one thread.
using PixelSpanTask = std::uint32_t (*)(void* context, std::uint64_t first,
                                        const std::uint8_t* data, std::uint32_t count);

// How the read ended: kDone, or the first part (in file order) that stopped, and why.
struct TwoPartOutcome {
  enum class End { kDone, kContentFault, kEndOfFile, kReadError, kCancelled };
  End end = End::kDone;
  int part = 0;                   // 0 for the first half, 1 for the second
  platform::ErrorCode error = 0;  // for kReadError
};

// Where each part polls the cancel flag (kCancelled): before each span is read (as the 8-bit
// decode polls before each pixel), after it is read and before it is taken (as the 1-bit
// decode polls after each byte it read), or not at all (the census).
enum class CancelCheckpoint { kNone, kBeforeEachRead, kAfterEachRead };

// Below this many pixel bytes a second thread costs more than it saves.
inline constexpr std::uint64_t kTwoPartMinimum = std::uint64_t{8} << 20;

// Reads pixels bytes from offset on in two parts, the first [0, split) and the second
// [split, pixels), split a multiple of unit near the middle; contexts[0] and contexts[1] go to
// task with the spans of each. Returns false, having read nothing, when two parts cannot be
// had (not a regular file, fewer than minimum pixel bytes, no second thread or no memory for
// its buffers): the caller then reads front to back.
bool read_in_two_parts(const InputFile& input, std::uint64_t offset, std::uint64_t pixels,
                       std::uint64_t unit, std::uint64_t minimum, CancelCheckpoint checkpoint,
                       PixelSpanTask task, void* const contexts[2], TwoPartOutcome* outcome);

// The ending of a two-part pixel read, reported like the same end of a front-to-back read:
// nothing for a read that went through or stopped at a fault of the content (which the caller
// reports, knowing what it was), 0 for a cancelled one, else the read-failure message.
Ending end_of_two_part_read(const TwoPartOutcome& outcome, const char* input_name);

}  // namespace curvlog
