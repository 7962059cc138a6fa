#pragma once

// Shared inside the POSIX platform layer only: the helper programs that show the dialogs of a
// desktop session.

#include <cstddef>

namespace curvlog::platform::posix {

// True when a graphical session can be reached (DISPLAY or WAYLAND_DISPLAY is set).
bool display_available();

// Looks for an executable program of that name in the directories of PATH. True with its
// path in path (NUL-terminated) when found.
bool find_program(const char* program, char* path, std::size_t capacity);

struct ProgramResult {
  bool started = false;      // false: the program could not be run at all
  bool exited = false;       // it ended by exit(), not by a signal
  int exit_status = 0;       // valid when exited
  bool interrupted = false;  // a console control signal arrived, and the program was stopped
  bool output_truncated = false;
  std::size_t output_length = 0;
};

// Runs the program at path with argv (argv[0] first, nullptr last), without a shell, its
// standard input and error on /dev/null, and waits for it to end. What it writes to standard
// output lands in output (NUL-terminated, capacity including the terminator; output may be
// nullptr to discard it). Nothing of it reaches this program's standard output.
ProgramResult run_program(const char* path, char* const argv[], char* output, std::size_t capacity);

}  // namespace curvlog::platform::posix
