#pragma once

// Shared inside the POSIX platform layer only: the helper programs that show the dialogs of a
// desktop session, and the wait for the user that a console control signal ends.

#include <cstddef>

namespace curvlog::platform::posix {

// True when a graphical session can be reached (DISPLAY or WAYLAND_DISPLAY is set).
bool display_available();

// Waits until fd has something to read (or its end). False when a console control signal
// arrives first, or has arrived since control_signal_count() gave signals_before.
bool wait_readable(int fd, unsigned signals_before);

struct ProgramResult {
  bool started = false;      // false: the program could not be run at all
  bool exited = false;       // it ended by exit(), not by a signal
  int exit_status = 0;       // valid when exited
  bool interrupted = false;  // a console control signal arrived, and the program was stopped
  bool output_truncated = false;
  std::size_t output_length = 0;
};

// Runs the program argv[0], found in the directories of PATH, with argv (nullptr last), without
// a shell, its standard input and error on /dev/null, and waits for it to end. What it writes
// to standard output lands in output (NUL-terminated, capacity including the terminator;
// output may be nullptr to discard it). Nothing of it reaches this program's standard output.
ProgramResult run_program(char* const argv[], char* output, std::size_t capacity);

}  // namespace curvlog::platform::posix
