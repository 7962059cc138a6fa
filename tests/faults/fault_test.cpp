// Real faults, end to end: curvlog runs as a child process while the test makes the system
// fail it at a chosen moment (a control signal while it waits for input or writes its output,
// an address space too small for its tables, an input it may not read, an output it may not
// delete). Each test asserts the exit code, standard output, the files left behind, and that
// nothing at all went to standard error. The faults that the transcript cases stage already
// (SIGQUIT while decoding, the write limits, the output created meanwhile, a directory as
// input) are not repeated here.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::string;

constexpr auto kTimeout = std::chrono::seconds(30);
constexpr uid_t kNobody = 65534;
constexpr int kCannotDropPrivileges = 125;

// ---- Input files --------------------------------------------------------------------------

void put16(Bytes& bytes, std::size_t at, unsigned value) {
  bytes[at] = char(value & 0xFF);
  bytes[at + 1] = char(value >> 8);
}

// A 1-bit PCX graph whose rows are all white except data_row, which is all black. Each row is
// stored as runs of at most 63 bytes, so the file ends with a run code and its value.
Bytes pcx_stripe(unsigned width, unsigned height, unsigned data_row) {
  Bytes bytes(128, '\0');
  const unsigned stride = (width + 7) / 8;
  bytes[0] = 10;
  bytes[1] = 5;
  bytes[2] = 1;
  bytes[3] = 1;
  put16(bytes, 8, width - 1);
  put16(bytes, 10, height - 1);
  bytes[65] = 1;
  put16(bytes, 66, stride);
  for (unsigned y = 0; y < height; ++y) {
    const char value = y == data_row ? '\x00' : '\xFF';
    for (unsigned left = stride; left > 0;) {
      const unsigned run = left < 63 ? left : 63;
      bytes += char(0xC0 + run);
      bytes += value;
      left -= run;
    }
  }
  return bytes;
}

// An 8-bit greyscale TGA graph stored top row first: white except data_row, which is black.
Bytes tga_stripe(unsigned width, unsigned height, unsigned data_row) {
  Bytes bytes(18, '\0');
  bytes[2] = 3;
  put16(bytes, 12, width);
  put16(bytes, 14, height);
  bytes[16] = 8;
  bytes[17] = 32;
  for (unsigned y = 0; y < height; ++y) bytes.append(width, y == data_row ? '\x00' : '\xFF');
  return bytes;
}

// ---- The child process ----------------------------------------------------------------

struct Outcome {
  int exit_code = -1;
  int signal = 0;
  bool timed_out = false;
  std::string out, err;
};

// A scratch directory that the unprivileged user may write to.
class Sandbox {
 public:
  Sandbox() {
    char pattern[] = "/tmp/curvlog_faults_XXXXXX";
    if (::mkdtemp(pattern) != nullptr) dir_ = pattern;
    ::chmod(dir_.c_str(), 0777);
  }
  ~Sandbox() {
    ::chmod(dir_.c_str(), 0700);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  bool ok() const { return !dir_.empty(); }
  fs::path operator/(const std::string& name) const { return dir_ / name; }
  const fs::path& path() const { return dir_; }

  void write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  Bytes read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  bool exists(const std::string& name) const {
    struct stat status;
    return ::lstat((dir_ / name).c_str(), &status) == 0;
  }

 private:
  fs::path dir_;
};

struct Limits {
  std::optional<rlim_t> address_space;
  bool as_nobody = false;  // drop root privileges, so that file modes apply
};

// curvlog in the sandbox with the given arguments, standard output and error captured.
class Child {
 public:
  Child(const Sandbox& sandbox, std::vector<std::string> args, const Limits& limits = {}) {
    args.insert(args.begin(), CURVLOG_EXE);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string dir = sandbox.path().string();
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null_fd = ::open("/dev/null", O_RDONLY);
      if (null_fd < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
      ::dup2(null_fd, 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(s, SIG_DFL);
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      if (limits.as_nobody && ::getuid() == 0 &&
          (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(kCannotDropPrivileges);
      }
      if (limits.address_space) {
        const rlimit limit{*limits.address_space, *limits.address_space};
        ::setrlimit(RLIMIT_AS, &limit);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
    deadline_ = Clock::now() + kTimeout;
    reader_ = std::thread([this] { drain(); });
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      int status;
      ::waitpid(pid_, &status, 0);
    }
    if (reader_.joinable()) reader_.join();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  void signal(int number) const { ::kill(pid_, number); }

  // Waits until the child has stopped (SIGSTOP); false when it ended instead.
  bool wait_stopped() {
    int status;
    if (::waitpid(pid_, &status, WUNTRACED) != pid_) return false;
    if (WIFSTOPPED(status)) return true;
    record(status);
    return false;
  }

  // Polls until condition holds or the child ends; true when the condition was met.
  bool wait_until(const std::function<bool()>& condition) {
    while (Clock::now() < deadline_) {
      if (condition()) return true;
      int status;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        record(status);
        return condition();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
  }

  Outcome finish() {
    while (!reaped_) {
      int status;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        record(status);
      } else if (Clock::now() > deadline_) {
        outcome_.timed_out = true;
        ::kill(pid_, SIGKILL);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    if (reader_.joinable()) reader_.join();
    return outcome_;
  }

 private:
  void record(int status) {
    reaped_ = true;
    if (WIFEXITED(status)) outcome_.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome_.signal = WTERMSIG(status);
  }

  void drain() {
    pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    std::string* sinks[2] = {&outcome_.out, &outcome_.err};
    int open_count = 2;
    while (open_count > 0) {
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
          sinks[i]->append(buffer, std::size_t(got));
        } else if (got == 0 || errno != EINTR) {
          ::close(fds[i].fd);
          fds[i].fd = -1;
          --open_count;
        }
      }
    }
  }

  pid_t pid_ = -1;
  bool reaped_ = false;
  int out_fd_ = -1, err_fd_ = -1;
  Clock::time_point deadline_;
  Outcome outcome_;
  std::thread reader_;
};

// A FIFO in the sandbox that hands the child all but the last held_back bytes of an input,
// and the rest only when told to.
class StalledInput {
 public:
  StalledInput(const Sandbox& sandbox, const std::string& name, Bytes bytes, std::size_t held_back)
      : path_(sandbox / name), bytes_(std::move(bytes)), held_back_(held_back) {
    created_ = ::mkfifo(path_.c_str(), 0666) == 0;
  }
  ~StalledInput() {
    if (fd_ >= 0) ::close(fd_);
  }
  StalledInput(const StalledInput&) = delete;
  StalledInput& operator=(const StalledInput&) = delete;

  bool created() const { return created_; }

  // Opens the FIFO once the child has, writes the first part and waits until the child has
  // read all of it and has had time to block on the rest.
  bool feed_until_stalled(Child& run) {
    if (!run.wait_until([this] {
          fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          return fd_ >= 0;
        })) {
      return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (!write_all(bytes_.data(), bytes_.size() - held_back_)) return false;
    const bool drained = run.wait_until([this] {
      int unread = 1;
      return ::ioctl(fd_, FIONREAD, &unread) == 0 && unread == 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return drained;
  }

  void release() {
    write_all(bytes_.data() + bytes_.size() - held_back_, held_back_);
    ::close(fd_);
    fd_ = -1;
  }

 private:
  bool write_all(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t put = ::write(fd_, data, size);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      data += put;
      size -= std::size_t(put);
    }
    return true;
  }

  fs::path path_;
  Bytes bytes_;
  std::size_t held_back_;
  int fd_ = -1;
  bool created_ = false;
};

void expect_clean_end(const Outcome& outcome) {
  EXPECT_FALSE(outcome.timed_out);
  EXPECT_EQ(outcome.signal, 0) << "the program died of a signal";
  EXPECT_EQ(outcome.err, "") << "nothing may go to standard error";
}

const char* signal_name(int number) {
  return number == SIGINT ? "INT" : number == SIGTERM ? "TERM" : "HUP";
}

// ---- Cancellation while the pixels are read, before the output exists --------------------

struct ReadingCase {
  const char* name;
  int signal;
  Bytes input;
  std::size_t held_back;  // the bytes at the end of the input that wait for the signal
  std::vector<std::string> args;
  std::string header_echo_end;  // the last verbose line before the pixel data
};

void PrintTo(const ReadingCase& c, std::ostream* out) {
  *out << c.name << " " << c.signal;
}

class CancelWhileReading : public testing::TestWithParam<ReadingCase> {};

// The signal lands while the reader waits for the rest of the pixel data. With only the very
// last byte held back (a run's value, or the last 8-bit pixel, neither followed by a checkpoint
// in the decoder) it is the hand-over to the column scan that must find it. Either way: no
// "Input file ... read", no output file.
TEST_P(CancelWhileReading, EndsQuietlyWithoutOutput) {
  const ReadingCase& c = GetParam();
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  StalledInput input(sandbox, c.args[c.args.size() - 2], c.input, c.held_back);
  ASSERT_TRUE(input.created());
  Child run(sandbox, c.args);
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(input.feed_until_stalled(run)) << "the program did not read its input";
  run.signal(c.signal);
  input.release();
  const Outcome outcome = run.finish();
  expect_clean_end(outcome);
  EXPECT_EQ(outcome.exit_code, 0);
  const std::string& end = c.header_echo_end;
  EXPECT_TRUE(outcome.out.size() >= end.size() &&
              outcome.out.compare(outcome.out.size() - end.size(), end.size(), end) == 0)
      << "standard output should end with the header echo:\n"
      << outcome.out;
  EXPECT_FALSE(sandbox.exists("out.prn"));
}

std::vector<ReadingCase> reading_cases() {
  const Bytes pcx = pcx_stripe(16, 4, 1);
  const Bytes tga = tga_stripe(8, 3, 1);
  const std::vector<std::string> pcx_args = {"/V", "100", "0", "in.pcx", "out.prn"};
  const std::vector<std::string> tga_args = {"/V", "/T", "100", "0", "in.tga", "out.prn"};
  std::vector<ReadingCase> cases;
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    cases.push_back({"pcx_decoding", number, pcx, 5, pcx_args, "Image height: 4\n"});
    cases.push_back({"pcx_hand_over", number, pcx, 1, pcx_args, "Image height: 4\n"});
  }
  cases.push_back({"tga_decoding", SIGINT, tga, 12, tga_args, "Image height: 3\n"});
  cases.push_back({"tga_hand_over", SIGINT, tga, 1, tga_args, "Image height: 3\n"});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Signals, CancelWhileReading, testing::ValuesIn(reading_cases()),
                         [](const testing::TestParamInfo<ReadingCase>& info) {
                           return std::string(info.param.name) + "_SIG" +
                                  signal_name(info.param.signal);
                         });

// ---- Cancellation while the PRN file is being written ----------------------------------

// A graph 65535 columns wide writes 65535 lines, one write each: the test stops the program
// as soon as the file appears, queues the signal and lets it go on.
constexpr unsigned kWideColumns = 65535;

struct StoppedWriter {
  Outcome outcome;
  bool caught_while_writing = false;
};

// Runs curvlog on the wide graph, stops it once out.prn exists, calls while_stopped, queues
// the signal and lets it run to its end.
StoppedWriter stop_while_writing(const Sandbox& sandbox, int number, const Limits& limits,
                                 const std::function<void()>& while_stopped) {
  StoppedWriter result;
  Child run(sandbox, {"100", "0", "wide.pcx", "out.prn"}, limits);
  if (!run.started()) return result;
  if (run.wait_until([&] { return sandbox.exists("out.prn"); })) {
    run.signal(SIGSTOP);
    if (run.wait_stopped()) {
      // A file short of its last line proves the stop came while the lines were written.
      result.caught_while_writing =
          fs::file_size(sandbox / "out.prn") < kWideColumns * std::uint64_t{19};
      while_stopped();
      run.signal(number);
      run.signal(SIGCONT);
    }
  }
  result.outcome = run.finish();
  return result;
}

class CancelWhileWriting : public testing::TestWithParam<int> {};

TEST_P(CancelWhileWriting, RemovesTheUnfinishedFile) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  sandbox.write("wide.pcx", pcx_stripe(kWideColumns, 2, 1));
  const StoppedWriter stopped = stop_while_writing(sandbox, GetParam(), {}, [] {});
  if (!stopped.caught_while_writing) GTEST_SKIP() << "the program wrote every line first";
  expect_clean_end(stopped.outcome);
  EXPECT_EQ(stopped.outcome.exit_code, 0);
  // Caught before a line: nothing printed. Caught after the last line: the message, and the
  // file is removed all the same.
  EXPECT_TRUE(stopped.outcome.out == "" || stopped.outcome.out == "\nFile out.prn created.\n\n")
      << stopped.outcome.out;
  EXPECT_FALSE(sandbox.exists("out.prn"));
  EXPECT_EQ(sandbox.read("wide.pcx"), pcx_stripe(kWideColumns, 2, 1));
}

INSTANTIATE_TEST_SUITE_P(Signals, CancelWhileWriting, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string("SIG") + signal_name(info.param);
                         });

// The directory turns read-only while the program is stopped mid-file, so the removal after
// the cancellation fails: the message names the error, the code stays 0, the file stays.
TEST(CancelWhileWriting, ReportsAFailedRemoval) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  sandbox.write("wide.pcx", pcx_stripe(kWideColumns, 2, 1));
  Limits limits;
  limits.as_nobody = true;
  const StoppedWriter stopped =
      stop_while_writing(sandbox, SIGINT, limits, [&] { ::chmod(sandbox.path().c_str(), 0555); });
  ::chmod(sandbox.path().c_str(), 0777);
  if (stopped.outcome.exit_code == kCannotDropPrivileges) GTEST_SKIP() << "cannot become nobody";
  if (!stopped.caught_while_writing) GTEST_SKIP() << "the program wrote every line first";
  expect_clean_end(stopped.outcome);
  EXPECT_EQ(stopped.outcome.exit_code, 0);
  const std::string failed = "\nError: cannot delete output file out.prn (13)\n\n";
  EXPECT_TRUE(stopped.outcome.out == failed ||
              stopped.outcome.out == "\nFile out.prn created.\n\n" + failed)
      << stopped.outcome.out;
  EXPECT_TRUE(sandbox.exists("out.prn"));
}

// ---- An input the user may not read -----------------------------------------------------

TEST(UnreadableInput, EndsWithCode4) {
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes graph = pcx_stripe(16, 4, 1);
  sandbox.write("locked.pcx", graph);
  ASSERT_EQ(::chmod((sandbox / "locked.pcx").c_str(), 0), 0);
  if (::getuid() != 0 && ::access((sandbox / "locked.pcx").c_str(), R_OK) == 0) {
    GTEST_SKIP() << "this user reads files of mode 000";
  }
  Limits limits;
  limits.as_nobody = true;
  Child run(sandbox, {"100", "0", "locked.pcx", "out.prn"}, limits);
  ASSERT_TRUE(run.started());
  const Outcome outcome = run.finish();
  if (outcome.exit_code == kCannotDropPrivileges) GTEST_SKIP() << "cannot become nobody";
  expect_clean_end(outcome);
  EXPECT_EQ(outcome.exit_code, 4);
  EXPECT_EQ(outcome.out, "\nError: unable to open input file locked.pcx (13)\n\n");
  EXPECT_FALSE(sandbox.exists("out.prn"));
  ::chmod((sandbox / "locked.pcx").c_str(), 0644);
  EXPECT_EQ(sandbox.read("locked.pcx"), graph);
}

// ---- Allocations refused by a small address space ---------------------------------------

struct AllocationCase {
  const char* name;
  Bytes input;
  std::vector<std::string> args;
  std::string refusal;  // the message that must appear at some limit
};

void PrintTo(const AllocationCase& c, std::ostream* out) {
  *out << c.name;
}

class AddressSpaceLimit : public testing::TestWithParam<AllocationCase> {};

// Raises the limit step by step from where the program cannot even be loaded until it
// succeeds. Every run in between must end in order: a refusal with its message and code 7,
// never a crash, never an output file; the case's own refusal must be among them.
TEST_P(AddressSpaceLimit, EveryRefusalEndsWithCode7) {
  const AllocationCase& c = GetParam();
  Sandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  sandbox.write("in", c.input);
  constexpr rlim_t kStep = 32 * 1024;
  bool refused = false;
  bool succeeded = false;
  for (rlim_t limit = 1024 * 1024; limit <= 64 * 1024 * 1024 && !succeeded; limit += kStep) {
    Limits limits;
    limits.address_space = limit;
    Child run(sandbox, c.args, limits);
    ASSERT_TRUE(run.started());
    const Outcome outcome = run.finish();
    SCOPED_TRACE("RLIMIT_AS " + std::to_string(limit));
    ASSERT_FALSE(outcome.timed_out);
    ASSERT_EQ(outcome.signal, 0) << "the program died of a signal\n" << outcome.err;
    if (outcome.exit_code == 127) {
      // The loader could not map the program's libraries: nothing of the program ran.
      ASSERT_NE(outcome.err.find("error while loading shared libraries"), std::string::npos)
          << outcome.err;
      ASSERT_EQ(outcome.out, "");
      continue;
    }
    ASSERT_EQ(outcome.err, "");
    if (outcome.exit_code == 0) {
      ASSERT_EQ(outcome.out, "\nFile out.prn created.\n\n");
      succeeded = true;
      continue;
    }
    ASSERT_EQ(outcome.exit_code, 7) << outcome.out;
    ASSERT_FALSE(sandbox.exists("out.prn"));
    ASSERT_TRUE(outcome.out == "Error: unable to allocate memory to store the bitmap\n\n" ||
                outcome.out == "\nError: unable to allocate memory to calculate statistics\n\n")
        << outcome.out;
    refused = refused || outcome.out == c.refusal;
  }
  EXPECT_TRUE(succeeded) << "the program never succeeded";
  EXPECT_TRUE(refused) << "never refused with: " << c.refusal;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, AddressSpaceLimit,
    testing::Values(
        // 16384 columns need a 320 KiB statistics table but only 4 KiB of bitmap.
        AllocationCase{"statistics_table",
                       pcx_stripe(16384, 2, 1),
                       {"100", "0", "in", "out.prn"},
                       "\nError: unable to allocate memory to calculate statistics\n\n"},
        // A PCX graph 64 pixels wide and 32768 rows high: a 256 KiB bitmap, a tiny table.
        AllocationCase{"pcx_bitmap",
                       pcx_stripe(64, 32768, 5),
                       {"100", "0", "in", "out.prn"},
                       "Error: unable to allocate memory to store the bitmap\n\n"},
        // An 8-bit TGA file of 2048 by 1024 pixels: a 256 KiB bitmap and a 40 KiB table.
        AllocationCase{"tga_bitmap",
                       tga_stripe(2048, 1024, 7),
                       {"/T", "100", "0", "in", "out.prn"},
                       "Error: unable to allocate memory to store the bitmap\n\n"}),
    [](const testing::TestParamInfo<AllocationCase>& info) { return info.param.name; });

}  // namespace
