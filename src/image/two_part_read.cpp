#include "image/two_part_read.h"

#include <atomic>
#include <memory>
#include <new>

#include "base/cancel.h"
#include "image/data_bitmap.h"

namespace curvlog {
namespace {

// Each read fetches this much: small enough that the bytes the system copies are still in
// the processor's cache when they are classified, large enough that the calls cost little.
constexpr std::uint32_t kSpanBytes = 128 * 1024;

struct Part {
  const InputFile* input;
  std::uint64_t offset;  // of pixel 0
  std::uint64_t first;   // pixel indices [first, end)
  std::uint64_t end;
  CancelCheckpoint checkpoint;
  PixelSpanTask task;
  void* context;
  std::uint8_t* buffer;
  // Set once an earlier part stopped: a later fault can no longer be the first.
  const std::atomic<bool>* abandon;
  TwoPartOutcome::End result;
  platform::ErrorCode error;
};

void run_part(void* part_pointer) {
  Part& part = *static_cast<Part*>(part_pointer);
  part.result = TwoPartOutcome::End::kDone;
  for (std::uint64_t at = part.first; at < part.end;) {
    if ((part.checkpoint == CancelCheckpoint::kBeforeEachRead && cancel_requested()) ||
        (part.abandon != nullptr && part.abandon->load())) {
      part.result = TwoPartOutcome::End::kCancelled;
      return;
    }
    const std::uint64_t rest = part.end - at;
    const std::uint32_t want = rest < kSpanBytes ? std::uint32_t(rest) : kSpanBytes;
    const long got = part.input->read_at(part.offset + at, part.buffer, want, &part.error);
    if (got <= 0) {
      part.result = got < 0 ? TwoPartOutcome::End::kReadError : TwoPartOutcome::End::kEndOfFile;
      return;
    }
    if (part.checkpoint == CancelCheckpoint::kAfterEachRead && cancel_requested()) {
      part.result = TwoPartOutcome::End::kCancelled;
      return;
    }
    const std::uint32_t count = std::uint32_t(got);
    if (part.task(part.context, at, part.buffer, count) < count) {
      part.result = TwoPartOutcome::End::kContentFault;
      return;
    }
    at += count;
  }
}

}  // namespace

bool read_in_two_parts(const InputFile& input, std::uint64_t offset, std::uint64_t pixels,
                       std::uint64_t unit, std::uint64_t minimum, CancelCheckpoint checkpoint,
                       PixelSpanTask task, void* const contexts[2], TwoPartOutcome* outcome) {
  if (input.regular_file_size() < 0 || pixels < minimum || unit == 0) return false;
  const std::uint64_t split = pixels / unit / 2 * unit;
  if (split == 0) return false;
  std::unique_ptr<std::uint8_t[]> buffers(new (std::nothrow) std::uint8_t[2 * kSpanBytes]);
  if (!buffers) return false;

  std::atomic<bool> first_part_stopped{false};
  Part parts[2] = {
      {&input, offset, 0, split, checkpoint, task, contexts[0], buffers.get(), nullptr,
       TwoPartOutcome::End::kDone, 0},
      {&input, offset, split, pixels, checkpoint, task, contexts[1], buffers.get() + kSpanBytes,
       &first_part_stopped, TwoPartOutcome::End::kDone, 0},
  };
  {
    platform::Worker worker;
    if (!worker.start(run_part, &parts[1])) return false;
    run_part(&parts[0]);
    if (parts[0].result != TwoPartOutcome::End::kDone) first_part_stopped.store(true);
  }  // the worker has ended here

  *outcome = TwoPartOutcome{};
  for (int i = 0; i < 2; ++i) {
    if (parts[i].result == TwoPartOutcome::End::kDone) continue;
    *outcome = TwoPartOutcome{parts[i].result, i, parts[i].error};
    break;
  }
  return true;
}

Ending end_of_two_part_read(const TwoPartOutcome& outcome, const char* input_name) {
  switch (outcome.end) {
    case TwoPartOutcome::End::kDone:
    case TwoPartOutcome::End::kContentFault:  // reported by the caller, who knows what it was
      return kGoOn;
    case TwoPartOutcome::End::kCancelled:
      return ExitCode::kSuccess;
    case TwoPartOutcome::End::kEndOfFile:
      return report_pixel_read_failure(0, InputFile::kEndOfFile, input_name);
    case TwoPartOutcome::End::kReadError:
      break;
  }
  return report_pixel_read_failure(outcome.error, InputFile::kReadError, input_name);
}

}  // namespace curvlog
