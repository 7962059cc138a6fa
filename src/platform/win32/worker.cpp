// The second thread on Windows: not offered, so every task runs on the main thread. The
// interface's Windows services name no thread call, and the input is read sequentially there.

#include "platform/platform.h"

namespace curvlog::platform {

bool Worker::start(Task task, void* context) {
  (void)task;
  (void)context;
  return false;
}

void Worker::join() {}

}  // namespace curvlog::platform
