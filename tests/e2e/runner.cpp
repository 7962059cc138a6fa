// End-to-end runner: each case file (tests/e2e/cases/*.case) runs the real curvlog binary in a
// fresh directory, stages the fault it describes around the running program, and compares the
// exit code, standard output, standard error and the files left behind with the case.
//
// Run: e2e_transcripts --curvlog=PATH [gtest flags]. CURVLOG_COMMAND_PREFIX (e.g. "wine64") is
// put before the binary, split at blanks. DISPLAY and WAYLAND_DISPLAY are removed from the
// program's environment. For a Windows program (*.exe), CR LF on standard output counts as LF.
//
// Case format: one directive per line; "#" starts a comment line. A line "---" starts another
// run of the same file (a test of its own, named after the file and the run's number): each
// run takes the directives before the first "---" and those of its own part. A line starting with a
// blank continues the previous directive's words, a line starting with "|" is one line of its text
// ("|" alone is an empty line). KEY[windows]: or KEY[posix]: counts for that platform only.
//   args: WORD...              the arguments; "..." keeps blanks, "" is an empty one
//   copy: NAME PATH            tests/data/PATH copied in as NAME
//   hex: NAME BYTE...          the bytes in hex; HH*N repeats a byte, (HH ...)*N a group
//                              (inputs may lie in subdirectories, which are made for them)
//   mkdir: NAME                a directory
//   mode: NAME OCTAL           NAME's permissions during the run
//   env: NAME=VALUE            added to the program's environment
//   locale: NAME               the case needs the locale NAME installed; skipped without it
//   limit: fsize|as BYTES      RLIMIT_FSIZE (SIGXFSZ ignored) or RLIMIT_AS
//   unprivileged: USER         file modes must bind the program: a root runner runs it as USER
//                              (from a copy of the binary, the run's files given to USER);
//                              another runner as itself if it cannot read a file of mode 000
//   signal: INT|TERM|HUP|QUIT  the signal that fifo: or stop-at: sends
//   fifo: NAME BYTES [silent]  the input NAME is a FIFO: its first BYTES are written, and once
//                              the program has read them and sleeps, the signal is sent and/or
//   create-while-stalled: NAME NAME is created ("someone else's file\n"); then the rest follows,
//                              or with "silent" nothing: the FIFO stays open and silent until
//                              the program ends (a writer that stalls for good)
//   stop-at: NAME SIZE [read-only]  once NAME exists the program is stopped (SIGSTOP), the run's
//                              directory made read-only if asked, the signal queued and the
//                              program continued. Skipped if it ended first or NAME had SIZE
//                              bytes (all of them) by then: the stop came too late.
//   sweep-as: FROM TO STEP     runs with RLIMIT_AS = FROM, FROM + STEP, ... up to TO. A run
//                              that exits 127 with no output did not start; one that ends in a
//                              refusal: must leave the directory as it was; the first other run
//                              is checked like the only run of a case
//   refusal: EXIT [required]   "|" lines follow: a way for a sweep-as: run to refuse; a
//                              required one must be seen
//   exit: N                    the expected exit code (required)
//   terminal:                  standard input is a terminal at which the "|" lines are typed,
//                              each with its line end, then Ctrl+D
//   stdout:                    the expected output, "|" lines ("|@{usage}" is the usage text,
//                              tests/data/e2e/usage.txt; a last line "|...@{end}" has no line
//                              end). Without it: no output.
//   stdout-either:             one of several accepted outputs
//   stderr:                    the expected standard error. Without it: nothing.
//   file: NAME crlf|lf|hex|data  the expected file: the "|" lines, each ending in CR LF (LF); the
//                              bytes in hex that follow; or those of tests/data/PATH
//   absent: NAME / left: NAME  NAME must not / must exist afterwards
//   skip: REASON               the case cannot run here (with a platform: a POSIX mechanism)
// Inputs (copy, hex, create-while-stalled) must be left untouched unless a file: line expects
// other bytes. A case that cannot stage its fault here is skipped with the reason.
// "@{version}" anywhere is the program's version.

#include <fcntl.h>
#include <grp.h>
#include <locale.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>  // the pseudo-terminal calls
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string g_curvlog;   // --curvlog=PATH
bool g_windows = false;  // whether that is a Windows program (*.exe)
const fs::path kDataDir = CURVLOG_TEST_DATA;
constexpr auto kTimeout = std::chrono::seconds(60);  // for one run, on a loaded machine
constexpr char kStalledCreation[] = "someone else's file\n";

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The parts of a case file: what comes before the first "---" line, then each run's own.
std::vector<std::string> parts_of(const std::string& text) {
  std::vector<std::string> parts(1);
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line == "---") {
      parts.emplace_back();
    } else {
      parts.back() += line + "\n";
    }
  }
  return parts;
}

// A case is a file's name, and "_N" for its run N when it has several.
std::pair<std::string, std::size_t> file_and_run(const std::string& name) {
  const std::size_t mark = name.rfind("_run");
  if (mark == std::string::npos) return {name, 0};
  return {name.substr(0, mark), std::stoul(name.substr(mark + 4))};
}

std::vector<std::string> words_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> std::quoted(word);) words.push_back(word);
  return words;
}

struct Refusal {
  int exit_code;
  std::string text;
  bool required;
};

struct Case {
  std::vector<std::string> args, directories, env, absent, left;
  std::map<std::string, std::string> inputs;  // name, bytes
  std::map<std::string, int> modes;
  std::optional<rlim_t> fsize_limit, as_limit;
  std::string unprivileged, fifo, create_while_stalled, stop_at, skip_reason, locale;
  std::optional<std::string> terminal;  // what is typed
  std::size_t fifo_first = 0;
  std::uintmax_t stop_size = 0;
  bool read_only = false, fifo_silent = false;
  int signal = 0;
  std::array<rlim_t, 3> sweep = {};  // from, to, step
  std::vector<Refusal> refusals;
  std::optional<int> exit_code;
  std::vector<std::string> stdout_texts;  // any one of them
  std::string stderr_text;
  std::map<std::string, std::string> files;  // expected bytes
  fs::path dir;                              // where it runs
  std::string program;
  std::optional<std::pair<uid_t, gid_t>> user;  // as whom, for a root runner
};

// Bytes in hex: HH, HH*N (the byte N times), (...)*N (the group N times).
std::string parse_hex(const std::vector<std::string>& words, std::size_t from, std::string* error) {
  static const std::regex kGroup(R"(\(([^()]*)\)\*(\d+))"), kByte(R"(([0-9a-fA-F]{1,2})(\*\d+)?)");
  std::string text;
  for (std::size_t i = from; i < words.size(); ++i) text += words[i] + " ";
  for (std::smatch m; std::regex_search(text, m, kGroup);) {
    std::string group;
    for (int n = std::stoi(m[2]); n > 0; --n) group += m[1].str() + " ";
    text = m.prefix().str() + group + m.suffix().str();
  }
  std::string bytes;
  for (const std::string& word : words_of(text)) {
    std::smatch m;
    if (!std::regex_match(word, m, kByte)) *error = "bad hex " + word;
    const std::size_t count = m[2].matched ? std::stoul(m[2].str().substr(1)) : 1;
    if (error->empty()) bytes.append(count, static_cast<char>(std::stoi(m[1], nullptr, 16)));
  }
  return bytes;
}

// Reads run number run (0 for a file of one) of the case file into c; false, with the error,
// when it is not well-formed.
bool parse_case(const fs::path& path, std::size_t run, Case& c, std::string* error) {
  const std::vector<std::string> parts = parts_of(read_file(path));
  std::string file = parts[0] + (run > 0 ? parts[run] : "");
  file = std::regex_replace(file, std::regex("\n[ \t]+"), " ");
  file = std::regex_replace(file, std::regex("@\\{version\\}"), CURVLOG_VERSION);
  const std::map<std::string, int> kSignals = {
      {"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"QUIT", SIGQUIT}};
  std::string ignored, *text = nullptr;  // where the "|" lines go, each ending in end
  std::string end = "\n";
  std::istringstream in(file);
  for (std::string line; error->empty() && std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '|') {
      if (text == nullptr) return *error = "a | line after a directive without text", false;
      // A text that ends without a line end (a prompt) ends in "@{end}".
      const std::size_t open_end = line.rfind("@{end}");
      if (line == "|@{usage}") {
        *text += read_file(kDataDir / "e2e/usage.txt");
      } else if (open_end != std::string::npos && open_end + 6 == line.size()) {
        *text += line.substr(1, open_end - 1);
      } else {
        *text += line.substr(1) + end;
      }
      continue;
    }
    text = nullptr, end = "\n";
    const std::size_t colon = std::min(line.find(':'), line.size());
    std::string key = line.substr(0, colon);
    const std::vector<std::string> words = words_of(line.substr(std::min(colon + 1, line.size())));
    std::vector<std::string> w = words;
    w.resize(std::max<std::size_t>(w.size(), 3));  // missing words are empty
    // KEY[windows] and KEY[posix]: for that platform's programs only.
    if (const std::size_t open = key.find('['); open != std::string::npos) {
      const std::string platform = key.substr(open);
      key.resize(open);
      if (platform != "[windows]" && platform != "[posix]") *error = "which platform? " + line;
      if ((platform == "[windows]") != g_windows) {
        text = &ignored;  // and so are its "|" lines
        continue;
      }
    }
    // Only args: and the texts (stdout..., stderr:, terminal:) may come without words.
    if (colon == line.size() ||
        (words.empty() && key != "args" && key != "terminal" && key.find("std") != 0)) {
      *error = "incomplete: " + line;
    } else if (key == "args") {
      c.args = words;
    } else if (key == "copy") {
      c.inputs[w[0]] = read_file(kDataDir / w[1]);
      if (!fs::is_regular_file(kDataDir / w[1])) *error = "no file " + w[1];
    } else if (key == "file" && w[1] == "data") {
      c.files[w[0]] = read_file(kDataDir / w[2]);
      if (!fs::is_regular_file(kDataDir / w[2])) *error = "no file " + w[2];
    } else if (key == "hex") {
      c.inputs[w[0]] = parse_hex(words, 1, error);
    } else if (key == "mkdir" || key == "env" || key == "absent" || key == "left") {
      const std::map<std::string, std::vector<std::string>*> lists = {
          {"mkdir", &c.directories}, {"env", &c.env}, {"absent", &c.absent}, {"left", &c.left}};
      lists.at(key)->push_back(w[0]);
    } else if (key == "mode") {
      c.modes[w[0]] = std::stoi(w[1], nullptr, 8);
    } else if (key == "limit" && (w[0] == "as" || w[0] == "fsize")) {
      (w[0] == "as" ? c.as_limit : c.fsize_limit) = std::stoull(w[1]);
    } else if (key == "unprivileged") {
      c.unprivileged = w[0];
    } else if (key == "signal" && kSignals.count(w[0])) {
      c.signal = kSignals.at(w[0]);
    } else if (key == "fifo" && (w[2].empty() || w[2] == "silent")) {
      c.fifo = w[0];
      c.fifo_first = std::stoul(w[1]);
      c.fifo_silent = !w[2].empty();
    } else if (key == "create-while-stalled") {
      c.create_while_stalled = w[0];
      c.files[w[0]] = kStalledCreation;
    } else if (key == "stop-at" && (w[2].empty() || w[2] == "read-only")) {
      c.stop_at = w[0];
      c.stop_size = std::stoull(w[1]);
      c.read_only = !w[2].empty();
    } else if (key == "sweep-as") {
      c.sweep = {std::stoull(w[0]), std::stoull(w[1]), std::stoull(w[2])};
    } else if (key == "refusal" && (w[1].empty() || w[1] == "required")) {
      c.refusals.push_back({std::stoi(w[0]), "", !w[1].empty()});
      text = &c.refusals.back().text;
    } else if (key == "exit") {
      c.exit_code = std::stoi(w[0]);
    } else if (key == "stdout-either" || (key == "stdout" && c.stdout_texts.empty())) {
      text = &c.stdout_texts.emplace_back();
    } else if (key == "terminal") {
      text = &c.terminal.emplace();
    } else if (key == "stderr") {
      text = &c.stderr_text;
    } else if (key == "file" && (w[1] == "crlf" || w[1] == "lf")) {
      text = &c.files[w[0]];
      end = w[1] == "crlf" ? "\r\n" : "\n";
    } else if (key == "file" && w[1] == "hex") {
      c.files[w[0]] = parse_hex(words, 2, error);
    } else if (key == "locale") {
      c.locale = w[0];
    } else if (key == "skip") {
      c.skip_reason = line.substr(line.find_first_not_of(" \t", colon + 1));
    } else {
      *error = "unknown or malformed: " + line;
    }
  }
  if (!c.fifo.empty() && (!c.inputs.count(c.fifo) || c.fifo_first > c.inputs[c.fifo].size())) {
    *error += " (fifo: no such input, or a shorter one)";
  }
  if (c.signal != 0 ? c.fifo.empty() && c.stop_at.empty() : !c.stop_at.empty()) {
    *error += " (a signal: goes with fifo: or stop-at:)";
  }
  if ((c.sweep[2] != 0) == c.refusals.empty()) *error += " (sweep-as: goes with refusal:)";
  if (c.stdout_texts.empty()) c.stdout_texts.emplace_back();
  if (!c.exit_code && c.skip_reason.empty()) *error += " (no exit:)";
  return error->empty();
}

struct Outcome {
  int exit_code = -1, signal = 0;
  bool timed_out = false, missed_stop = false;
  std::string stdout_text, stderr_text;
};

void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // the program has gone; its outcome tells the rest
    data += put, size -= std::size_t(put);
  }
}

// Standard output and error, read on a thread of their own so that neither pipe can fill
// while the runner stages a fault.
void drain(int out_fd, int err_fd, Outcome* outcome) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&outcome->stdout_text, &outcome->stderr_text};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) sinks[i]->append(buffer, std::size_t(got));
      if (got == 0 || (got < 0 && errno != EINTR)) {
        ::close(fds[i].fd);
        fds[i].fd = -1;  // which poll() ignores
      }
    }
  }
}

struct Child {
  pid_t pid = -1;
  int status = 0;
  bool ended = false;
  Clock::time_point deadline = Clock::now() + kTimeout;

  bool alive() {
    if (!ended && ::waitpid(pid, &status, WNOHANG) == pid) ended = true;
    return !ended;
  }
  // Polls the condition while the program runs, up to the deadline; true once it holds.
  template <typename Condition>
  bool wait_for(Condition condition) {
    for (; alive() && Clock::now() < deadline; std::this_thread::sleep_for(kPoll)) {
      if (condition()) return true;
    }
    return false;
  }
  static constexpr auto kPoll = std::chrono::microseconds(100);
};

// True when every thread of the process sleeps in the kernel: none is at work on input.
bool asleep(pid_t pid) {
  std::error_code error;
  int sleeping = 0;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    const std::string stat = read_file(task.path() / "stat");  // the state follows ")"
    if (stat.rfind(") S ") != stat.rfind(')')) return false;
    ++sleeping;
  }
  return sleeping > 0;
}

// Stages the fault of fifo: (its first part is written already) or of stop-at:.
void stage(const Case& c, int fifo, Child& child, Outcome& outcome) {
  std::error_code error;
  if (fifo >= 0) {
    child.wait_for([&] {
      int unread = 1;
      return ::ioctl(fifo, FIONREAD, &unread) == 0 && unread == 0 && asleep(child.pid);
    });
    if (!c.create_while_stalled.empty()) {
      std::ofstream(c.dir / c.create_while_stalled, std::ios::binary) << kStalledCreation;
    }
    if (c.signal != 0 && child.alive()) ::kill(child.pid, c.signal);
    if (c.fifo_silent) return;  // closed once the program has ended
    const std::string& bytes = c.inputs.at(c.fifo);
    write_all(fifo, bytes.data() + c.fifo_first, bytes.size() - c.fifo_first);
    ::close(fifo);
  } else if (!c.stop_at.empty()) {
    if (!child.wait_for([&] { return fs::exists(c.dir / c.stop_at, error); })) {
      outcome.missed_stop = fs::exists(c.dir / c.stop_at, error);  // it ended meanwhile
      return;
    }
    ::kill(child.pid, SIGSTOP);
    if (::waitpid(child.pid, &child.status, WUNTRACED) != child.pid || !WIFSTOPPED(child.status)) {
      outcome.missed_stop = child.ended = true;
      return;
    }
    outcome.missed_stop = fs::file_size(c.dir / c.stop_at, error) >= c.stop_size;
    if (c.read_only) ::chmod(c.dir.c_str(), 0555);
    ::kill(child.pid, c.signal);
    ::kill(child.pid, SIGCONT);
  }
}

void set_limit(int resource, std::optional<rlim_t> bytes) {
  const rlimit limit{bytes.value_or(0), bytes.value_or(0)};
  if (bytes) ::setrlimit(resource, &limit);
}

// In the forked child: the streams, signals, environment, limits and user, then the program.
// A run that cannot become the user exits 125 with kCannotBecome on standard error.
constexpr char kCannotBecome[] = "e2e runner: cannot become ";
[[noreturn]] void start(const Case& c, char** argv, const int* fds) {
  if (::setpgid(0, 0) != 0 || ::chdir(c.dir.c_str()) != 0) ::_exit(126);
  for (int i = 0; i < 3; ++i) ::dup2(fds[i], i);
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(number, SIG_DFL);
  if (c.fsize_limit) ::signal(SIGXFSZ, SIG_IGN);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  for (const std::string& e : c.env) ::putenv(const_cast<char*>(e.c_str()));
  set_limit(RLIMIT_FSIZE, c.fsize_limit);
  set_limit(RLIMIT_AS, c.as_limit);
  const auto& user = c.user;
  if (user &&
      (::setgroups(0, nullptr) != 0 || ::setgid(user->second) != 0 || ::setuid(user->first) != 0)) {
    std::fprintf(stderr, "%s%s: %s\n", kCannotBecome, c.unprivileged.c_str(), strerror(errno));
    ::_exit(125);
  }
  ::execvp(argv[0], argv);
  std::fprintf(stderr, "e2e runner: cannot start %s: %s\n", argv[0], strerror(errno));
  ::_exit(127);
}

Outcome run(const Case& c) {
  const char* prefix = std::getenv("CURVLOG_COMMAND_PREFIX");
  std::vector<std::string> words = words_of(prefix != nullptr ? prefix : "");
  words.push_back(c.program);
  words.insert(words.end(), c.args.begin(), c.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // The FIFO opened for reading and writing, so that the runner can fill it before the program
  // opens it (Linux); the program sees its end once the runner closes it.
  const int fifo = c.fifo.empty() ? -1 : ::open((c.dir / c.fifo).c_str(), O_RDWR | O_CLOEXEC);
  if (fifo >= 0) write_all(fifo, c.inputs.at(c.fifo).data(), c.fifo_first);
  Outcome outcome;
  Child child;
  int out[2], err[2];
  // Standard input: nothing, or a pseudo-terminal whose lines are typed before the program
  // reads them (the terminal keeps them).
  const int keyboard = c.terminal ? ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  if (keyboard >= 0 && ::grantpt(keyboard) == 0 && ::unlockpt(keyboard) == 0) {
    const std::string typed = *c.terminal + "\x04";
    write_all(keyboard, typed.data(), typed.size());
  }
  const int input = keyboard >= 0 ? ::open(::ptsname(keyboard), O_RDWR | O_NOCTTY | O_CLOEXEC)
                                  : ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (input < 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
      (child.pid = ::fork()) < 0) {
    return outcome;  // an exit code of -1
  }
  const int fds[3] = {input, out[1], err[1]};
  if (child.pid == 0) start(c, argv.data(), fds);  // the runner has no other thread to mind
  for (int fd : fds) ::close(fd);
  std::thread reader(drain, out[0], err[0], &outcome);
  stage(c, fifo, child, outcome);
  child.wait_for([] { return false; });  // the end, or the deadline
  if ((outcome.timed_out = child.alive())) {
    ::kill(-child.pid, SIGKILL);
    ::waitpid(child.pid, &child.status, 0);
  }
  if (fifo >= 0 && c.fifo_silent) ::close(fifo);
  reader.join();
  if (keyboard >= 0) ::close(keyboard);
  if (c.read_only) ::chmod(c.dir.c_str(), 0700);
  outcome.exit_code = WIFEXITED(child.status) ? WEXITSTATUS(child.status) : -1;
  outcome.signal = WIFSIGNALED(child.status) ? WTERMSIG(child.status) : 0;
  std::string& text = outcome.stdout_text;
  for (std::size_t at = 0; g_windows && (at = text.find("\r\n", at)) != text.npos;) {
    text.erase(at++, 1);  // the console's text mode
  }
  return outcome;
}

// Readies a run bound by file modes (see unprivileged:) in root/run; returns why it cannot be.
std::string unprivileged(Case& c, const fs::path& root) {
  if (::geteuid() != 0) {  // the runner's own user, if file modes bind it
    const fs::path probe = root / "probe";
    std::ofstream(probe).put('x');
    ::chmod(probe.c_str(), 0);
    return std::ifstream(probe).get() != 'x' ? "" : "not root, and file modes do not bind me";
  }
  const passwd* user = ::getpwnam(c.unprivileged.c_str());
  if (user == nullptr) return "no user " + c.unprivileged;
  c.user = {user->pw_uid, user->pw_gid};
  // The build tree may lie where that user cannot go: the program is copied to root/bin.
  c.program = (root / "bin" / fs::path(g_curvlog).filename()).string();
  std::error_code error;
  bool ready = fs::create_directory(root / "bin", error) &&
               fs::copy_file(g_curvlog, c.program, error) && ::chmod(root.c_str(), 0755) == 0 &&
               ::chmod((root / "bin").c_str(), 0755) == 0 && ::chmod(c.program.c_str(), 0755) == 0;
  ready = ready && ::chown(c.dir.c_str(), user->pw_uid, user->pw_gid) == 0;
  for (const auto& entry : fs::recursive_directory_iterator(c.dir)) {
    ready = ready && ::lchown(entry.path().c_str(), user->pw_uid, user->pw_gid) == 0;
  }
  return ready ? "" : "cannot ready a run as " + c.unprivileged;
}

// The runs of sweep-as: up to the one to check like any other case's run.
Outcome sweep(Case& c) {
  const auto entries = [&] { return std::distance(fs::recursive_directory_iterator(c.dir), {}); };
  const auto entries_before = entries();
  std::vector<bool> seen(c.refusals.size());
  Outcome outcome;
  for (c.as_limit = c.sweep[0]; *c.as_limit <= c.sweep[1]; *c.as_limit += c.sweep[2]) {
    SCOPED_TRACE("RLIMIT_AS " + std::to_string(*c.as_limit));
    outcome = run(c);
    if (outcome.timed_out || outcome.signal != 0) break;
    if (outcome.exit_code == 127 && outcome.stdout_text.empty()) continue;  // the loader failed
    const auto refusal = std::find_if(c.refusals.begin(), c.refusals.end(), [&](auto& r) {
      return r.exit_code == outcome.exit_code && r.text == outcome.stdout_text;
    });
    if (refusal == c.refusals.end()) break;
    seen[refusal - c.refusals.begin()] = true;
    EXPECT_EQ(outcome.stderr_text, c.stderr_text) << "standard error";
    EXPECT_EQ(entries(), entries_before) << "a refused run left a file behind";
  }
  if (*c.as_limit > c.sweep[1]) ADD_FAILURE() << "the program never got past its refusals";
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_TRUE(seen[i] || !c.refusals[i].required) << "never refused with\n" << c.refusals[i].text;
  }
  return outcome;
}

class Transcript : public testing::TestWithParam<std::string> {};

TEST_P(Transcript, Matches) {
  ASSERT_FALSE(g_curvlog.empty()) << "run with --curvlog=PATH of the program";
  char root[] = "/tmp/curvlog_e2e_XXXXXX";
  ASSERT_NE(::mkdtemp(root), nullptr);
  const std::shared_ptr<void> cleanup(nullptr, [&](void*) { fs::remove_all(root); });
  Case c;
  std::string error;
  const auto [file, run_number] = file_and_run(GetParam());
  ASSERT_TRUE(parse_case(fs::path(CURVLOG_CASES_DIR) / (file + ".case"), run_number, c, &error))
      << error;
  if (!c.skip_reason.empty()) GTEST_SKIP() << c.skip_reason;
  if (const locale_t l =
          c.locale.empty() ? nullptr : ::newlocale(LC_ALL_MASK, c.locale.c_str(), 0)) {
    ::freelocale(l);
  } else if (!c.locale.empty()) {
    GTEST_SKIP() << "no locale " << c.locale
                 << " here (Debian: localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
  }
  c.dir = fs::canonical(root) / "run";
  c.program = fs::absolute(g_curvlog).string();
  for (const std::string& d : c.directories) fs::create_directories(c.dir / d);
  fs::create_directories(c.dir);
  for (const auto& [name, bytes] : c.inputs) {
    if (name == c.fifo) {
      ASSERT_EQ(::mkfifo((c.dir / name).c_str(), 0600), 0);
      continue;
    }
    fs::create_directories((c.dir / name).parent_path());
    std::ofstream(c.dir / name, std::ios::binary) << bytes;
    c.files.emplace(name, bytes);  // to be left untouched, unless expected otherwise
  }
  for (const auto& [name, mode] : c.modes) ASSERT_EQ(::chmod((c.dir / name).c_str(), mode), 0);
  const std::string cannot = c.unprivileged.empty() ? "" : unprivileged(c, root);
  if (!cannot.empty()) GTEST_SKIP() << cannot;

  const Outcome outcome = c.sweep[2] != 0 ? sweep(c) : run(c);
  SCOPED_TRACE(c.as_limit ? "the run at RLIMIT_AS " + std::to_string(*c.as_limit) : "the run");
  for (const auto& [name, mode] : c.modes) {  // readable again for the checks below
    fs::permissions(c.dir / name, fs::perms::owner_all, fs::perm_options::add);
  }
  if (outcome.exit_code == 125 && outcome.stderr_text.find(kCannotBecome) == 0) {
    GTEST_SKIP() << outcome.stderr_text;
  }
  ASSERT_FALSE(outcome.timed_out) << "killed after " << kTimeout.count() << " s, having written\n"
                                  << outcome.stdout_text;
  if (outcome.missed_stop) GTEST_SKIP() << "the program had written " << c.stop_at << " first";
  EXPECT_EQ(outcome.signal, 0) << "the program died of a signal";
  EXPECT_EQ(outcome.exit_code, *c.exit_code) << "exit code";
  const auto& texts = c.stdout_texts;
  if (std::find(texts.begin(), texts.end(), outcome.stdout_text) == texts.end()) {
    for (const std::string& text : texts) EXPECT_EQ(outcome.stdout_text, text) << "standard output";
  }
  EXPECT_EQ(outcome.stderr_text, c.stderr_text) << "standard error";
  for (const auto& [name, bytes] : c.files) {
    EXPECT_TRUE(fs::is_regular_file(c.dir / name)) << name << " is missing";
    EXPECT_EQ(read_file(c.dir / name), bytes) << "file " << name;
  }
  for (const std::string& name : c.absent) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(c.dir / name))) << name << " should not exist";
  }
  for (const std::string& name : c.left) EXPECT_TRUE(fs::exists(c.dir / name)) << name;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(CURVLOG_CASES_DIR)) {
    if (entry.path().extension() != ".case") continue;
    const std::string name = entry.path().stem().string();
    const std::size_t runs = parts_of(read_file(entry.path())).size() - 1;
    if (runs == 0) names.push_back(name);
    for (std::size_t run = 1; run <= runs; ++run)
      names.push_back(name + "_run" + std::to_string(run));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Case names are test names: letters, digits and "_".
INSTANTIATE_TEST_SUITE_P(Cases, Transcript, testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--curvlog=", 10) == 0) g_curvlog = argv[i] + 10;
  }
  const std::size_t n = g_curvlog.size();
  g_windows = n > 4 && strcasecmp(g_curvlog.c_str() + n - 4, ".exe") == 0;
  ::signal(SIGPIPE, SIG_IGN);  // a program that ends early must not kill the FIFO feeder
  return RUN_ALL_TESTS();
}
