// The part of the input file that is the same on every system: one-byte and multi-byte read
// requests served from the block buffer, which each system's refill() fills.

#include <climits>
#include <cstring>

#include "platform/decoder.h"
#include "platform/platform.h"

namespace curvlog::platform {

int InputFile::refill_and_read_byte() {
  const long got = refill();
  if (got < 0) return kReadError;
  if (got == 0) return kEndOfFile;
  return *next_++;
}

long InputFile::read(void* buffer, std::size_t size) {
  if (size > static_cast<std::size_t>(LONG_MAX)) size = LONG_MAX;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t delivered = 0;
  while (delivered < size) {
    if (next_ == end_) {
      const long got = refill();
      // A failure fails the whole request, as an unbuffered read of the same bytes would: a
      // short count would tell the reader that the file ended.
      if (got < 0) return -1;
      if (got == 0) break;
    }
    std::size_t take = static_cast<std::size_t>(end_ - next_);
    if (take > size - delivered) take = size - delivered;
    std::memcpy(out + delivered, next_, take);
    next_ += take;
    delivered += take;
  }
  return static_cast<long>(delivered);
}

ByteSource byte_source(InputFile& input) {
  ByteSource source;
  source.context = &input;
  source.read = [](void* context, void* buffer, std::size_t size, ErrorCode* error) {
    InputFile& file = *static_cast<InputFile*>(context);
    const long got = file.read(buffer, size);
    if (got < 0) *error = file.error();
    return got;
  };
  source.rewind = [](void* context, ErrorCode* error) {
    InputFile& file = *static_cast<InputFile*>(context);
    if (file.rewind()) return true;
    *error = file.error();
    return false;
  };
  return source;
}

}  // namespace curvlog::platform
