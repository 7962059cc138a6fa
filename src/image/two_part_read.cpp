#include "image/two_part_read.h"

#include <atomic>
#include <memory>
#include <new>

#include "base/cancel.h"
#include "image/data_bitmap.h"

namespace curvlog {
namespace {

// Each read of a part fetches this much: small enough that the bytes the system copies are
// still in the processor's cache when they are taken, large enough that the calls cost little.
constexpr std::uint32_t kSpanBytes = 128 * 1024;

enum class End { kDone, kContentFault, kEndOfFile, kReadError, kCancelled };

struct Part {
  InputFile* input;
  const PixelData* data;
  std::uint64_t first;  // pixel indices [first, end)
  std::uint64_t end;
  void* context;
  std::uint8_t* buffer;  // null: the spans come front to back from the input's own buffer
  // Set once an earlier part stopped: a later fault can no longer be the first.
  const std::atomic<bool>* abandon;
  End result;
  platform::ErrorCode error;
};

// The next span, of at most want bytes from pixel index at on: points *bytes at it and returns
// its size, 0 at the end of the file, or -1 on a failed read with the part's error set.
long fetch(Part& part, std::uint64_t at, std::uint32_t want, const std::uint8_t** bytes) {
  if (part.buffer != nullptr) {
    *bytes = part.buffer;
    return part.input->read_at(part.data->offset + at, part.buffer, want, &part.error);
  }
  const long got = part.input->view(bytes);
  part.error = part.input->error();
  return got > long(want) ? long(want) : got;
}

void run_part(void* part_pointer) {
  Part& part = *static_cast<Part*>(part_pointer);
  const CancelCheckpoint checkpoint = part.data->checkpoint;
  part.result = End::kDone;
  for (std::uint64_t at = part.first; at < part.end;) {
    if ((checkpoint == CancelCheckpoint::kBeforeEachRead && cancel_requested()) ||
        (part.abandon != nullptr && part.abandon->load())) {
      part.result = End::kCancelled;
      return;
    }
    const std::uint64_t rest = part.end - at;
    const std::uint32_t want = rest < kSpanBytes ? std::uint32_t(rest) : kSpanBytes;
    const std::uint8_t* bytes = nullptr;
    const long got = fetch(part, at, want, &bytes);
    if (got <= 0) {
      part.result = got < 0 ? End::kReadError : End::kEndOfFile;
      return;
    }
    if (checkpoint == CancelCheckpoint::kAfterEachRead && cancel_requested()) {
      part.result = End::kCancelled;
      return;
    }
    const std::uint32_t count = std::uint32_t(got);
    if (part.data->task(part.context, at, bytes, count) < count) {
      part.result = End::kContentFault;
      return;
    }
    if (part.buffer == nullptr) part.input->consume(count);
    at += count;
  }
}

// Reads the stretch in two parts, the first [0, split) and the second [split, bytes), split a
// multiple of the unit near the middle. False, having read nothing, when that cannot be had.
bool run_two_parts(InputFile& input, const PixelData& data, std::uint64_t minimum,
                   Part (&parts)[2]) {
  if (input.regular_file_size() < 0 || data.bytes < minimum || data.unit == 0) return false;
  const std::uint64_t split = data.bytes / data.unit / 2 * data.unit;
  if (split == 0) return false;
  std::unique_ptr<std::uint8_t[]> buffers(new (std::nothrow) std::uint8_t[2 * kSpanBytes]);
  if (!buffers) return false;
  std::atomic<bool> first_part_stopped{false};
  parts[0] = {&input, &data, 0, split, data.contexts[0], buffers.get(), nullptr, End::kDone, 0};
  parts[1] = {&input,
              &data,
              split,
              data.bytes,
              data.contexts[1],
              buffers.get() + kSpanBytes,
              &first_part_stopped,
              End::kDone,
              0};
  platform::Worker worker;  // declared last: it has ended before the buffers go
  if (!worker.start(run_part, &parts[1])) return false;
  run_part(&parts[0]);
  if (parts[0].result != End::kDone) first_part_stopped.store(true);
  return true;
}

}  // namespace

Ending read_pixel_data(InputFile& input, const PixelData& data,
                       std::uint64_t two_part_minimum, const char* input_name, int* fault_part) {
  Part parts[2] = {};
  if (!run_two_parts(input, data, two_part_minimum, parts)) {
    parts[0] = {&input, &data, 0, data.bytes, data.contexts[0], nullptr, nullptr, End::kDone, 0};
    parts[1] = {};
    run_part(&parts[0]);
  }
  // The first part that stopped, in file order, tells how the read ended.
  *fault_part = -1;
  for (int i = 0; i < 2; ++i) {
    switch (parts[i].result) {
      case End::kDone:
        continue;
      case End::kContentFault:  // reported by the caller, who knows what it was
        *fault_part = i;
        return kGoOn;
      case End::kCancelled:
        return ExitCode::kSuccess;
      case End::kEndOfFile:
        return report_pixel_read_failure(0, InputFile::kEndOfFile, input_name);
      case End::kReadError:
        return report_pixel_read_failure(parts[i].error, InputFile::kReadError,
                                         input_name);
    }
  }
  return kGoOn;
}

}  // namespace curvlog
