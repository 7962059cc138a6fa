#pragma once

// Shared inside the POSIX platform layer only.

namespace curvlog::platform::posix {

// How many console control signals have arrived since the program started. A wait for the
// user (the file-open prompt, the dialog process) compares it before and after an interrupted
// wait to learn that the user asked the run to end.
unsigned control_signal_count();

}  // namespace curvlog::platform::posix
