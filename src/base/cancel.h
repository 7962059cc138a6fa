#pragma once

#include <atomic>
#include <cstdint>

namespace curvlog {

namespace internal {
// The cancel flag: written from the interrupt handler (a signal handler on POSIX, another
// thread on Windows) with one lock-free store and read afresh at every checkpoint.
// Inline, so that a checkpoint in a per-byte loop costs one load. Never cleared in a run.
inline std::atomic<std::uint32_t> cancel_flag{0};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
}  // namespace internal

// Cancel checkpoint: true once an interrupt asked the run to end.
inline bool cancel_requested() {
  return internal::cancel_flag.load(std::memory_order_relaxed) != 0;
}

// The interrupt handler: Ctrl+C, Ctrl+Break, close, log-off and shut-down alike set the cancel
// flag. It does nothing else, so it is safe in a signal handler.
inline void request_cancel() {
  internal::cancel_flag.store(1, std::memory_order_relaxed);
}

}  // namespace curvlog
