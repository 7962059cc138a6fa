// The second thread on POSIX systems.

#include <pthread.h>
#include <signal.h>

#include <cstring>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t), "a thread identifier fits the field");

// The tasks read files and classify pixels: small frames. The default stack (8 MiB of
// address space) would count against a limit on the address space for nothing.
constexpr std::size_t kStackSize = 256 * 1024;

}  // namespace

struct WorkerEntry {
  static void* run(void* worker) {
    const Worker& self = *static_cast<const Worker*>(worker);
    self.task_(self.context_);
    return nullptr;
  }
};

bool Worker::start(Task task, void* context) {
  join();
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  (void)::pthread_attr_setstacksize(&attributes, kStackSize);
  // A new thread starts with its creator's signal mask: with every signal blocked here, the
  // control signals keep going to the main thread, whose handler they were installed for.
  sigset_t all, previous;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &previous);
  task_ = task;
  context_ = context;
  pthread_t thread;
  const int failure = ::pthread_create(&thread, &attributes, &WorkerEntry::run, this);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::pthread_attr_destroy(&attributes);
  if (failure != 0) return false;
  std::memcpy(&thread_, &thread, sizeof thread);
  running_ = true;
  return true;
}

void Worker::join() {
  if (!running_) return;
  pthread_t thread;
  std::memcpy(&thread, &thread_, sizeof thread);
  (void)::pthread_join(thread, nullptr);
  running_ = false;
}

}  // namespace curvlog::platform
