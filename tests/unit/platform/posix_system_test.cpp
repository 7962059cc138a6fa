// What POSIX systems add: control signals, the second thread and the file-open dialog.

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::atomic<long> last_control_type{-1};
bool record_control(unsigned long type) {
  last_control_type = long(type);
  return true;
}
std::atomic<int> earlier_calls{0};
void earlier_action(int) {
  ++earlier_calls;
}

TEST(ControlHandler, SignalsArriveAsControlTypesUntilRemoved) {
  struct Case {
    int signal;
    long control_type;
  } cases[] = {{SIGINT, 0}, {SIGQUIT, 1}, {SIGHUP, 2}, {SIGTERM, 6}};
  for (const Case& c : cases) {
    struct sigaction earlier {};
    earlier.sa_handler = earlier_action;
    ASSERT_EQ(::sigaction(c.signal, &earlier, nullptr), 0);
    earlier_calls = 0;
    last_control_type = -1;

    register_control_handler(record_control);
    register_control_handler(record_control);  // again: the earlier action must survive
    errno = 1234;
    ASSERT_EQ(::raise(c.signal), 0);
    EXPECT_EQ(errno, 1234);  // the interrupted code finds errno unchanged
    EXPECT_EQ(last_control_type, c.control_type) << c.signal;
    EXPECT_EQ(earlier_calls, 0);
    remove_control_handler(record_control);

    struct sigaction now {};
    ASSERT_EQ(::sigaction(c.signal, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, earlier_action) << c.signal;
    last_control_type = -1;
    ASSERT_EQ(::raise(c.signal), 0);
    EXPECT_EQ(earlier_calls, 1);
    EXPECT_EQ(last_control_type, -1);
    ::signal(c.signal, SIG_DFL);
  }
}

// What a task saw of its thread: which one it ran on, and whether the control signals reach it.
struct TaskView {
  pthread_t thread;
  bool interrupt_blocked;
  bool terminate_blocked;
  std::atomic<bool> finished{false};
};

void look_around(void* view_pointer) {
  auto& view = *static_cast<TaskView*>(view_pointer);
  view.thread = ::pthread_self();
  sigset_t mask;
  ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  view.interrupt_blocked = ::sigismember(&mask, SIGINT) == 1;
  view.terminate_blocked = ::sigismember(&mask, SIGTERM) == 1;
  ::usleep(20000);  // join must wait for this
  view.finished = true;
}

TEST(Worker, RunsTheTaskOnAThreadOfItsOwnThatTakesNoSignals) {
  sigset_t before, after;
  ::pthread_sigmask(SIG_BLOCK, nullptr, &before);
  TaskView view{};
  {
    Worker worker;
    ASSERT_TRUE(worker.start(look_around, &view));
    ::pthread_sigmask(SIG_BLOCK, nullptr, &after);
    EXPECT_EQ(::sigismember(&after, SIGINT), ::sigismember(&before, SIGINT));
    worker.join();
    EXPECT_TRUE(view.finished);
    worker.join();  // nothing runs any more: returns at once
  }
  EXPECT_FALSE(::pthread_equal(view.thread, ::pthread_self()));
  EXPECT_TRUE(view.interrupt_blocked);
  EXPECT_TRUE(view.terminate_blocked);

  TaskView again{};
  {
    Worker worker;
    ASSERT_TRUE(worker.start(look_around, &again));
  }  // the destructor waits for the task
  EXPECT_TRUE(again.finished);
}

// A stand-in for the desktop's dialog program: records its arguments, prints a reply.
struct FakeDialogProgram {
  fs::path dir = fs::temp_directory_path() / ("curvlog-dialog-" + std::to_string(::getpid()));
  std::optional<ScopedEnv> path, display, wayland;

  FakeDialogProgram(const std::string& reply, int status) {
    fs::create_directories(dir);
    std::ofstream(dir / "zenity") << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '"
                                  << (dir / "args").string() << "'\nprintf '%s' '" << reply
                                  << "'\nexit " << status << "\n";
    fs::permissions(dir / "zenity", fs::perms::owner_all);
    path.emplace("PATH", (dir.string() + ":/usr/bin:/bin").c_str());
    display.emplace("DISPLAY", ":99");
    wayland.emplace("WAYLAND_DISPLAY", nullptr);
  }
  ~FakeDialogProgram() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::string arguments() const {
    std::ostringstream text;
    text << std::ifstream(dir / "args").rdbuf();
    return text.str();
  }
};

constexpr char kPcxFilter[] = "PCX\0*.PCX\0All\0*.*\0";

TEST(OpenFileDialog, ShowsTheDesktopDialogWithCaseBlindFilters) {
  const std::string existing = fs::canonical("/proc/self/exe").string();
  struct Case {
    std::string reply;
    int status;
    unsigned filter_index;
    unsigned max_file;
    bool chosen;
    const char* filters;
  } cases[] = {
      {existing + "\n", 0, 1, 260, true,
       "--file-filter=PCX | *.PCX *.pcx\n--file-filter=All | *\n"},
      {existing + "\n", 0, 2, 260, true,
       "--file-filter=All | *\n--file-filter=PCX | *.PCX *.pcx\n"},
      {existing + "\n", 1, 1, 260, false, nullptr},                        // cancelled
      {"/no/such/file.pcx\n", 0, 1, 260, false, nullptr},                  // not an existing file
      {"/tmp\n", 0, 1, 260, false, nullptr},                               // a directory
      {existing + "\n", 0, 1, unsigned(existing.size()), false, nullptr},  // does not fit
  };
  for (const Case& c : cases) {
    FakeDialogProgram program(c.reply, c.status);
    char file[260] = "stale";
    OpenFileDialog dialog{kPcxFilter, c.filter_index,  file,
                          c.max_file, "Open PCX file", kDialogPathMustExist | kDialogFileMustExist};
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_file_dialog(dialog), c.chosen) << c.reply;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(file, c.chosen ? existing.c_str() : "") << c.reply;
    if (c.filters != nullptr) {
      EXPECT_EQ(program.arguments(),
                std::string("--file-selection\n--title=Open PCX file\n") + c.filters);
    }
  }
}

}  // namespace
}  // namespace curvlog::platform
