#include "base/input_file.h"

#include <climits>
#include <cstring>

namespace curvlog {

bool InputFile::open(const char* path, platform::ErrorCode* error) {
  close();
  platform::ErrorCode failure = 0;
  if (!file_.open(path, &failure)) {
    error_ = failure;
    if (error != nullptr) *error = failure;
    return false;
  }
  next_ = end_ = block_;
  position_ = 0;
  error_ = 0;
  return true;
}

void InputFile::close() {
  file_.close();
  next_ = end_ = nullptr;
}

long InputFile::refill() {
  next_ = end_ = block_;
  // A regular file is read by position, which makes skip() and rewind() mere arithmetic.
  const long got = file_.regular_size() >= 0 ? file_.read_at(position_, block_, kBlockSize, &error_)
                                             : file_.read(block_, kBlockSize, &error_);
  if (got < 0) return -1;
  position_ += static_cast<std::uint64_t>(got);
  end_ = block_ + got;
  return got;
}

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

bool InputFile::skip(std::uint32_t count) {
  const std::size_t buffered = static_cast<std::size_t>(end_ - next_);
  if (count <= buffered) {
    next_ += count;
    return true;
  }
  std::uint32_t rest = count - static_cast<std::uint32_t>(buffered);
  next_ = end_;
  if (file_.regular_size() >= 0) {
    position_ += rest;  // beyond the end the next read finds the end
    return true;
  }
  // A pipe cannot move its position: read and discard. Reaching the end on the way is no
  // failure; the next read reports it.
  while (rest > 0) {
    const long got = refill();
    if (got < 0) return false;
    if (got == 0) break;
    const std::uint32_t take = static_cast<std::uint32_t>(got) < rest ? std::uint32_t(got) : rest;
    next_ += take;
    rest -= take;
  }
  return true;
}

bool InputFile::rewind() {
  next_ = end_ = block_;
  if (!file_.is_open() || file_.regular_size() < 0) {
    error_ = platform::kCannotRewind;
    return false;
  }
  position_ = 0;
  return true;
}

platform::ByteSource byte_source(InputFile& input) {
  platform::ByteSource source;
  source.context = &input;
  source.read = [](void* context, void* buffer, std::size_t size, platform::ErrorCode* error) {
    InputFile& file = *static_cast<InputFile*>(context);
    const long got = file.read(buffer, size);
    if (got < 0) *error = file.error();
    return got;
  };
  source.rewind = [](void* context, platform::ErrorCode* error) {
    InputFile& file = *static_cast<InputFile*>(context);
    if (file.rewind()) return true;
    *error = file.error();
    return false;
  };
  return source;
}

}  // namespace curvlog
