#pragma once

namespace curvlog {

// Cancel checkpoint: true once a console control event asked the run to end.
bool cancel_requested();

// The console control handler. Sets the cancel flag and returns true for Ctrl+C (0),
// Ctrl+Break (1), close (2), log-off (5) and shut-down (6); returns false for every other
// type and leaves the flag alone. It does nothing else, so it is safe in a signal handler.
bool handle_console_control(unsigned long control_type);

// Tests only: the flag is never cleared in a real run.
void reset_cancel_flag_for_testing();

}  // namespace curvlog
