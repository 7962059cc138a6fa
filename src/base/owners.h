#pragma once

#include <cstdlib>
#include <memory>

namespace curvlog {

// Owns a block from the C allocator, which refuses without throwing: the big tables of a run
// come from calloc, and a refusal is a message and exit code 7, never an exception.
struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

template <typename T>
using CArray = std::unique_ptr<T[], FreeDeleter>;

// count zero-filled elements, or null when the allocator refuses.
template <typename T>
CArray<T> allocate_zeroed(std::size_t count) {
  return CArray<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

}  // namespace curvlog
