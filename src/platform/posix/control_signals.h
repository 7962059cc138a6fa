#pragma once

// Shared inside the POSIX platform layer only.

namespace curvlog::platform::posix {

// How many interrupt signals have arrived since the program started. A wait for the user (the
// file-open prompt, the dialog process) compares it before and after an interrupted wait to
// learn that the user asked the run to end.
unsigned control_signal_count();

// Waits until fd has data (or its end, or a fault) to read: 0, or EINTR once an interrupt has
// come (before the wait or during it), or the errno of a failed wait.
int wait_readable(int fd);

}  // namespace curvlog::platform::posix
