#pragma once

#include <atomic>
#include <cstdint>

namespace curvlog {

namespace internal {
// The cancel flag: written from the console control handler (a signal handler on POSIX,
// another thread on Windows) with one lock-free store and read afresh at every checkpoint.
// Inline, so that a checkpoint in a per-byte loop costs one load. Never cleared in a run.
inline std::atomic<std::uint32_t> cancel_flag{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
}  // namespace internal

// Cancel checkpoint: true once a console control event asked the run to end.
inline bool cancel_requested() {
  return internal::cancel_flag.load(std::memory_order_relaxed) != 0;
}

// The console control handler. Sets the cancel flag and returns true for Ctrl+C, Ctrl+Break,
// close, log-off and shut-down; returns false for every other event and leaves the flag
// alone. It does nothing else, so it is safe in a signal handler.
bool handle_console_control(unsigned long control_type);

}  // namespace curvlog
