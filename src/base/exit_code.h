#pragma once

#include <optional>

namespace curvlog {

// The process exit status of a run. Every stage that ends the run names one of these.
enum class ExitCode : int {
  kSuccess = 0,         // also /V alone, /? alone, a cancellation, a dismissed dialog
  kCommandLine = 2,     // the usage text follows the message
  kSeparatorQuery = 3,  // the system's decimal separator cannot be queried
  kFileAccess = 4,      // input name unusable, input missing or unopenable, output uncreatable
  kReadFailure = 5,     // the input cannot be read
  kInvalidContent = 6,  // bad header, truncation, grey pixel, no data pixels
  kOutOfMemory = 7,
  kOutputExists = 8,
  kWriteFailure = 9,
};

// What a stage hands back to the run sequence: nothing lets the run go on, a code ends it.
// The stage has already printed its message.
using Ending = std::optional<ExitCode>;

inline constexpr Ending kGoOn = std::nullopt;

}  // namespace curvlog
