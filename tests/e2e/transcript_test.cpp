// End-to-end transcripts: each case file runs the real curvlog binary once in a fresh
// directory and compares its exit code, standard output, standard error and the files it
// leaves behind with what the case expects.
//
// Run: e2e_transcripts --curvlog=PATH [gtest flags]. CURVLOG_COMMAND_PREFIX (for example
// "wine64") is put before the binary, split at blanks. DISPLAY and WAYLAND_DISPLAY are always
// removed from the program's environment, so no case can open a window.
//
// A program named *.exe is a Windows program: its standard output comes in the console's text
// mode, so CR LF is compared as LF there (files are compared byte for byte everywhere).
//
// Case format: plain text, one directive per line; "#" starts a comment line, blank lines are
// ignored. A line starting with a blank continues the previous directive's words; a line
// starting with "|" is one line of the previous block ("|" alone is an empty line).
// A directive written KEY[windows]: or KEY[posix]: counts only for programs of that platform,
// so that a case keeps one expectation per platform where the two differ.
//   args: WORD...              the arguments, split at blanks; "..." keeps blanks, "" is empty
//   copy: NAME FIXTURE         tests/data/FIXTURE copied in as NAME
//   copy-repo: NAME PATH       PATH relative to the repository root copied in as NAME
//   hex: NAME BYTE...          the bytes in hex; HH*N repeats a byte N times
//   mkdir: NAME                a directory
//   exists: NAME               an empty file
//   env: NAME=VALUE            added to the program's environment
//   limit: fsize|as BYTES      RLIMIT_FSIZE (SIGXFSZ ignored) or RLIMIT_AS in the program
//   fifo: NAME FIXTURE BYTES   NAME is a FIFO: the first BYTES of the fixture are written, and
//                              once the program has read them and stalls (300 ms), the
//   signal: INT|TERM|HUP|QUIT  signal is sent and/or
//   create-while-stalled: NAME NAME is created with the text "someone else's file\n",
//                              then the rest is written and the FIFO closed
//   exit: N                    the expected exit code (required)
//   stdout:                    followed by "|" lines, each expected with "\n"; the line
//                              "|@{usage}" stands for the usage text. Without it: no output.
//   stderr:                    followed by "|" lines, each expected with "\n"; "stderr: nonempty"
//                              accepts any text. Without it: nothing on standard error.
//   file: NAME crlf            followed by "|" lines, each expected with "\r\n"
//   file: NAME hex BYTE...     the exact bytes
//   file: NAME data FIXTURE    the bytes of tests/data/FIXTURE
//   file: NAME repo PATH       the bytes of PATH relative to the repository root
//   absent: NAME               NAME must not exist afterwards
//   skip: REASON               the case cannot run here (with a platform: a POSIX mechanism)
// Every file made by copy, copy-repo, hex, exists and create-while-stalled must be left
// untouched unless a file: line expects other bytes. In names, arguments and expected lines,
// @{DIR} is the absolute path of the run's directory, @{version} the program's version and
// @{N*TEXT} is TEXT repeated N times.

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string g_curvlog;  // --curvlog=PATH

bool is_windows_program() {
  const std::size_t n = g_curvlog.size();
  if (n < 4) return false;
  std::string suffix = g_curvlog.substr(n - 4);
  for (char& ch : suffix) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return suffix == ".exe";
}

const fs::path kDataDir = CURVLOG_TEST_DATA;
const fs::path kRepoDir = kDataDir.parent_path().parent_path();

constexpr auto kTimeout = std::chrono::seconds(20);
constexpr auto kStallPause = std::chrono::milliseconds(300);
constexpr char kStalledCreation[] = "someone else's file\n";

constexpr const char* kUsage[] = {
    "Usage: CURVLOG.EXE [options] [<high> <low> [<input> [<output>]]]",
    "",
    "Options (optional, case-insensitive, switch \"-\" or \"/\", color(s) range 0-255):",
    "",
    "/?: usage instructions",
    "/C: crop in order to use known real high and low",
    "/D: use the system's decimal separator (default: dot)",
    "/T: show 8bpp TGA color index values or use a black&white TGA input file",
    "/V: verbose output, version number",
    "",
    "/E<color(s)>: exclude comma-separated color index value(s) from list",
    "/T<color(s)>: use a 8bpp TGA input file and CSV color index value(s)",
    "",
    "high: highest possible y-axis value in the graph, for example 100",
    "low:  lowest possible y-axis value in the graph, for example -100",
    "",
    "input:  optional, name or filemask with wildcards of the PCX or TGA input file",
    "output: optional, name of PRN output file (default: CURVLOG.PRN)",
    "",
};

struct Case {
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> inputs;  // name, bytes
  std::vector<std::string> directories;
  std::vector<std::string> env;
  std::optional<rlim_t> fsize_limit, as_limit;
  std::string fifo_name, fifo_bytes;
  std::size_t fifo_first = 0;
  int stall_signal = 0;
  std::string create_while_stalled;
  std::optional<int> exit_code;
  std::string stdout_text;
  bool stderr_nonempty = false;
  std::string stderr_text;
  std::map<std::string, std::string> files;  // expected bytes
  std::vector<std::string> absent;
  std::string skip_reason;
};

struct Outcome {
  int exit_code = -1;
  int signal = 0;
  bool timed_out = false;
  std::string stdout_text, stderr_text;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// "@{DIR}", "@{version}" and "@{N*TEXT}".
std::string expand(const std::string& text, const std::string& dir) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t end;
    if (text.compare(i, 2, "@{") != 0 || (end = text.find('}', i)) == std::string::npos) {
      out += text[i++];
      continue;
    }
    const std::string inner = text.substr(i + 2, end - i - 2);
    const std::size_t star = inner.find('*');
    if (inner == "DIR") {
      out += dir;
    } else if (inner == "version") {
      out += CURVLOG_VERSION;
    } else if (star != std::string::npos) {
      for (int n = std::stoi(inner.substr(0, star)); n > 0; --n) out += inner.substr(star + 1);
    } else {
      out += text.substr(i, end + 1 - i);
    }
    i = end + 1;
  }
  return out;
}

// Blank-separated words; "..." keeps blanks and may be empty.
std::vector<std::string> split_words(const std::string& text) {
  std::vector<std::string> words;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ' || text[i] == '\t') {
      ++i;
    } else if (text[i] == '"') {
      const std::size_t end = text.find('"', i + 1);
      words.push_back(text.substr(i + 1, end - i - 1));
      i = end == std::string::npos ? text.size() : end + 1;
    } else {
      const std::size_t end = text.find_first_of(" \t", i);
      words.push_back(text.substr(i, end - i));
      i = end == std::string::npos ? text.size() : end;
    }
  }
  return words;
}

std::string parse_hex(const std::vector<std::string>& words, std::size_t from, std::string* error) {
  std::string bytes;
  for (std::size_t i = from; i < words.size(); ++i) {
    const std::string& word = words[i];
    const std::size_t star = word.find('*');
    char* end = nullptr;
    const std::string digits = word.substr(0, star);  // end points into it below
    const long value = std::strtol(digits.c_str(), &end, 16);
    if (*end != '\0' || value < 0 || value > 255 || star == 0) *error = "bad hex byte " + word;
    const int count = star == std::string::npos ? 1 : std::atoi(word.c_str() + star + 1);
    bytes.append(std::size_t(std::max(count, 0)), static_cast<char>(value));
  }
  return bytes;
}

int signal_number(const std::string& name) {
  if (name == "INT") return SIGINT;
  if (name == "TERM") return SIGTERM;
  if (name == "HUP") return SIGHUP;
  if (name == "QUIT") return SIGQUIT;
  return 0;
}

// One directive and its continuation and "|" lines, then its meaning.
struct Directive {
  int line = 0;
  std::string key, rest;
  std::vector<std::string> block;
};

bool parse_case(const fs::path& path, const std::string& dir, Case& c, std::string* error) {
  std::vector<Directive> directives;
  std::istringstream in(read_file(path));
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '|') {
      if (directives.empty()) return *error = "stray | line " + std::to_string(number), false;
      directives.back().block.push_back(expand(line.substr(1), dir));
    } else if (line[0] == ' ' || line[0] == '\t') {
      if (line.find_first_not_of(" \t") == std::string::npos) continue;
      if (directives.empty()) return *error = "stray line " + std::to_string(number), false;
      directives.back().rest += " " + line;
    } else {
      const std::size_t colon = line.find(':');
      if (colon == std::string::npos) return *error = "no directive: " + line, false;
      std::string key = line.substr(0, colon);
      // KEY[platform]: the directive of that platform's programs only; the others skip it.
      bool other_platform = false;
      if (const std::size_t open = key.find('['); open != std::string::npos && key.back() == ']') {
        const std::string platform = key.substr(open + 1, key.size() - open - 2);
        if (platform != "windows" && platform != "posix") {
          return *error = "unknown platform " + platform, false;
        }
        other_platform = (platform == "windows") != is_windows_program();
        key.resize(open);
      }
      // An ignored directive still takes its "|" and continuation lines.
      directives.push_back({number, other_platform ? "" : key, line.substr(colon + 1), {}});
    }
  }
  auto joined = [](const std::vector<std::string>& lines, const char* end) {
    std::string text;
    for (const std::string& l : lines) text += l + end;
    return text;
  };
  for (const Directive& d : directives) {
    if (d.key.empty()) continue;
    const std::vector<std::string> w = split_words(expand(d.rest, dir));
    auto need = [&](std::size_t n) {
      if (w.size() < n) *error = "line " + std::to_string(d.line) + ": too few words";
      return w.size() >= n;
    };
    if (d.key == "args") {
      c.args = w;
    } else if (d.key == "copy" && need(2)) {
      c.inputs.emplace_back(w[0], read_file(kDataDir / w[1]));
      if (!fs::exists(kDataDir / w[1])) *error = "no fixture " + w[1];
    } else if (d.key == "copy-repo" && need(2)) {
      c.inputs.emplace_back(w[0], read_file(kRepoDir / w[1]));
      if (!fs::exists(kRepoDir / w[1])) *error = "no file " + w[1];
    } else if (d.key == "hex" && need(1)) {
      c.inputs.emplace_back(w[0], parse_hex(w, 1, error));
    } else if (d.key == "mkdir" && need(1)) {
      c.directories.push_back(w[0]);
    } else if (d.key == "exists" && need(1)) {
      c.inputs.emplace_back(w[0], "");
    } else if (d.key == "env" && need(1)) {
      c.env.push_back(w[0]);
    } else if (d.key == "limit" && need(2)) {
      (w[0] == "as" ? c.as_limit : c.fsize_limit) = std::stoull(w[1]);
    } else if (d.key == "fifo" && need(3)) {
      c.fifo_name = w[0];
      c.fifo_bytes = read_file(kDataDir / w[1]);
      c.fifo_first = std::stoul(w[2]);
    } else if (d.key == "signal" && need(1)) {
      c.stall_signal = signal_number(w[0]);
      if (c.stall_signal == 0) *error = "unknown signal " + w[0];
    } else if (d.key == "create-while-stalled" && need(1)) {
      c.create_while_stalled = w[0];
      c.files[w[0]] = kStalledCreation;
    } else if (d.key == "exit" && need(1)) {
      c.exit_code = std::stoi(w[0]);
    } else if (d.key == "stdout") {
      for (const std::string& l : d.block) {
        if (l != "@{usage}") {
          c.stdout_text += l + "\n";
          continue;
        }
        for (const char* usage_line : kUsage) c.stdout_text += std::string(usage_line) + "\n";
      }
    } else if (d.key == "stderr") {
      c.stderr_nonempty = !w.empty() && w[0] == "nonempty";
      c.stderr_text = joined(d.block, "\n");
    } else if (d.key == "file" && need(2)) {
      const fs::path& base = w[1] == "data" ? kDataDir : kRepoDir;
      if (w[1] == "crlf") {
        c.files[w[0]] = joined(d.block, "\r\n");
      } else if (w[1] == "hex") {
        c.files[w[0]] = parse_hex(w, 2, error);
      } else if ((w[1] == "data" || w[1] == "repo") && need(3) && fs::exists(base / w[2])) {
        c.files[w[0]] = read_file(base / w[2]);
      } else {
        *error = "line " + std::to_string(d.line) + ": unknown form or missing file";
      }
    } else if (d.key == "absent" && need(1)) {
      c.absent.push_back(w[0]);
    } else if (d.key == "skip" && need(1)) {
      c.skip_reason = d.rest.substr(d.rest.find_first_not_of(" \t"));
    } else if (error->empty()) {
      *error = "line " + std::to_string(d.line) + ": unknown or incomplete " + d.key;
    }
  }
  if (!c.exit_code && c.skip_reason.empty()) *error += " (no exit: line)";
  return error->empty();
}

// The program's standard output and error, read on a thread of their own so that neither
// pipe can fill while the runner feeds a FIFO.
void drain(int out_fd, int err_fd, Outcome* outcome) {
  int fds[2] = {out_fd, err_fd};
  std::string* texts[2] = {&outcome->stdout_text, &outcome->stderr_text};
  char buffer[4096];
  for (int open_count = 2; open_count > 0;) {
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0) continue;
      const ssize_t got = ::read(fds[i], buffer, sizeof buffer);
      if (got > 0) {
        texts[i]->append(buffer, std::size_t(got));
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        ::close(fds[i]);
        fds[i] = -1;
        --open_count;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::string find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (::access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  }
  return name;
}

class Child {
 public:
  pid_t pid = -1;
  Clock::time_point deadline = Clock::now() + kTimeout;

  bool alive() {
    if (pid < 0 || reaped_) return false;
    if (::waitpid(pid, &status_, WNOHANG) == pid) reaped_ = true;
    return !reaped_;
  }
  // Waits for the end, killing the whole process group at the deadline.
  void finish(Outcome& outcome) {
    while (alive() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (alive()) {
      outcome.timed_out = true;
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status_, 0);
      reaped_ = true;
    }
    if (WIFEXITED(status_)) outcome.exit_code = WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) outcome.signal = WTERMSIG(status_);
  }

 private:
  int status_ = 0;
  bool reaped_ = false;
};

void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // the program has gone; its outcome tells the rest
    data += put;
    size -= std::size_t(put);
  }
}

// Feeds the FIFO: the first part, a pause once the program has read it, the event, the rest.
void feed_fifo(const Case& c, const fs::path& dir, Child& child) {
  const std::string fifo = (dir / c.fifo_name).string();
  int fd = -1;
  while (fd < 0 && child.alive() && Clock::now() < child.deadline) {
    fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (fd < 0) return;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const std::size_t first = std::min(c.fifo_first, c.fifo_bytes.size());
  write_all(fd, c.fifo_bytes.data(), first);
  int unread = 1;
  while (unread > 0 && child.alive() && Clock::now() < child.deadline) {
    if (::ioctl(fd, FIONREAD, &unread) != 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(kStallPause);
  if (!c.create_while_stalled.empty()) {
    std::ofstream(dir / c.create_while_stalled, std::ios::binary) << kStalledCreation;
  }
  if (c.stall_signal != 0 && child.alive()) ::kill(child.pid, c.stall_signal);
  write_all(fd, c.fifo_bytes.data() + first, c.fifo_bytes.size() - first);
  ::close(fd);
}

Outcome run_case(const Case& c, const fs::path& dir) {
  Outcome outcome;
  // Everything the child needs is built before the fork.
  std::vector<std::string> words = split_words(std::getenv("CURVLOG_COMMAND_PREFIX") != nullptr
                                                   ? std::getenv("CURVLOG_COMMAND_PREFIX")
                                                   : "");
  words.push_back(fs::absolute(g_curvlog).string());
  const std::string program = find_program(words[0]);
  words.insert(words.end(), c.args.begin(), c.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    const bool replaced = std::any_of(c.env.begin(), c.env.end(), [&](const std::string& a) {
      return a.substr(0, a.find('=')) == name;
    });
    if (!replaced && name != "DISPLAY" && name != "WAYLAND_DISPLAY") env_text.push_back(entry);
  }
  env_text.insert(env_text.end(), c.env.begin(), c.env.end());
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string cwd = dir.string();

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) return outcome;
  Child child;
  child.pid = ::fork();
  if (child.pid == 0) {
    ::setpgid(0, 0);
    const int null_fd = ::open("/dev/null", O_RDONLY);
    if (null_fd < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(null_fd, 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(s, SIG_DFL);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (c.fsize_limit) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{*c.fsize_limit, *c.fsize_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (c.as_limit) {
      const rlimit limit{*c.as_limit, *c.as_limit};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (child.pid < 0) {
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    return outcome;
  }
  ::fcntl(out_pipe[0], F_SETFL, O_NONBLOCK);
  ::fcntl(err_pipe[0], F_SETFL, O_NONBLOCK);
  std::thread reader(drain, out_pipe[0], err_pipe[0], &outcome);
  if (!c.fifo_name.empty()) feed_fifo(c, dir, child);
  child.finish(outcome);
  reader.join();
  return outcome;
}

// Control characters and bytes above 0x7E made visible: \r, \t, \xNN.
std::string visible(const std::string& text) {
  std::string out;
  char hex[8];
  for (unsigned char ch : text) {
    if (ch == '\r')
      out += "\\r";
    else if (ch == '\t')
      out += "\\t";
    else if (ch == '\\')
      out += "\\\\";
    else if (ch < 0x20 || ch > 0x7E)
      out += (std::snprintf(hex, sizeof hex, "\\x%02X", ch), hex);
    else
      out += char(ch);
  }
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(text.substr(start, nl - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start) + "  <no line end>");
  return lines;
}

// Both texts line by line with numbers; differing lines are marked "!".
std::string diff(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> e = lines_of(expected), a = lines_of(actual);
  std::ostringstream out;
  out << "line  (- expected, + actual)\n";
  for (std::size_t i = 0; i < std::max(e.size(), a.size()); ++i) {
    const std::string* el = i < e.size() ? &e[i] : nullptr;
    const std::string* al = i < a.size() ? &a[i] : nullptr;
    const bool same = el != nullptr && al != nullptr && *el == *al;
    char number[32];
    std::snprintf(number, sizeof number, "%4zu%s ", i + 1, same ? " " : "!");
    if (same) {
      out << number << " " << visible(*el) << "\n";
    } else {
      out << number << "-" << (el != nullptr ? visible(*el) : "<none>") << "\n";
      out << "      +" << (al != nullptr ? visible(*al) : "<none>") << "\n";
    }
  }
  return out.str();
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(CURVLOG_CASES_DIR)) {
    if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Transcript : public testing::TestWithParam<std::string> {};

TEST_P(Transcript, Matches) {
  ASSERT_FALSE(g_curvlog.empty()) << "run with --curvlog=PATH of the program";
  char pattern[] = "/tmp/curvlog_e2e_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path dir = fs::canonical(pattern);
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } cleanup{dir};

  Case c;
  std::string error;
  ASSERT_TRUE(
      parse_case(fs::path(CURVLOG_CASES_DIR) / (GetParam() + ".case"), dir.string(), c, &error))
      << error;
  if (!c.skip_reason.empty()) GTEST_SKIP() << c.skip_reason;
  for (const std::string& d : c.directories) fs::create_directories(dir / d);
  for (const auto& [name, bytes] : c.inputs) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    if (!c.files.count(name)) c.files[name] = bytes;  // must be left untouched
  }
  if (!c.fifo_name.empty()) {
    ASSERT_EQ(::mkfifo((dir / c.fifo_name).c_str(), 0600), 0);
  }

  Outcome outcome = run_case(c, dir);
  if (is_windows_program()) {
    std::string& text = outcome.stdout_text;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) text[kept++] = text[i];
    }
    text.resize(kept);
  }
  ASSERT_FALSE(outcome.timed_out) << "killed after " << kTimeout.count() << " s\n"
                                  << diff(c.stdout_text, outcome.stdout_text);
  EXPECT_EQ(outcome.signal, 0) << "the program died of signal " << outcome.signal;
  EXPECT_EQ(outcome.exit_code, *c.exit_code) << "exit code";
  EXPECT_TRUE(outcome.stdout_text == c.stdout_text) << "standard output\n"
                                                    << diff(c.stdout_text, outcome.stdout_text);
  if (c.stderr_nonempty) {
    EXPECT_FALSE(outcome.stderr_text.empty()) << "standard error should not be empty";
  } else {
    EXPECT_TRUE(outcome.stderr_text == c.stderr_text) << "standard error\n"
                                                      << diff(c.stderr_text, outcome.stderr_text);
  }
  for (const auto& [name, bytes] : c.files) {
    if (!fs::is_regular_file(dir / name)) {
      ADD_FAILURE() << "file " << name << " is missing";
      continue;
    }
    const std::string actual = read_file(dir / name);
    EXPECT_TRUE(actual == bytes) << "file " << name << "\n" << diff(bytes, actual);
  }
  for (const std::string& name : c.absent) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / name))) << name << " should not exist";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Transcript, testing::ValuesIn(case_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--curvlog=", 10) == 0) g_curvlog = argv[i] + 10;
  }
  ::signal(SIGPIPE, SIG_IGN);  // a program that ends early must not kill the FIFO feeder
  return RUN_ALL_TESTS();
}
