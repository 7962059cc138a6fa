// The second thread on POSIX systems.

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <cstring>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t), "a thread identifier fits the field");

// The tasks read files and classify pixels: small frames. The default stack (8 MiB of
// address space) would count against a limit on the address space for nothing.
constexpr std::size_t kStackSize = 256 * 1024;

#if defined(__linux__)
// The scheduler tends to start a new thread on its creator's processor and to move it only
// later, which costs a short two-part task much of its gain. So the thread starts on the other
// processors the process may use; join() lifts that, so that once the creator waits, the task
// may move to whichever processor is free. False when there is no other processor.
bool start_elsewhere(pthread_attr_t* attributes) {
  cpu_set_t allowed;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2) {
    return false;
  }
  const int current = ::sched_getcpu();
  if (current < 0 || current >= CPU_SETSIZE || !CPU_ISSET(current, &allowed)) return false;
  CPU_CLR(current, &allowed);
  return ::pthread_attr_setaffinity_np(attributes, sizeof allowed, &allowed) == 0;
}

void allow_everywhere(pthread_t thread) {
  cpu_set_t allowed;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    (void)::pthread_setaffinity_np(thread, sizeof allowed, &allowed);
  }
}
#else
bool start_elsewhere(pthread_attr_t*) {
  return false;
}
void allow_everywhere(pthread_t) {}
#endif

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
  placed_ = start_elsewhere(&attributes);
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
  if (placed_) allow_everywhere(thread);
  (void)::pthread_join(thread, nullptr);
  running_ = false;
}

}  // namespace curvlog::platform
