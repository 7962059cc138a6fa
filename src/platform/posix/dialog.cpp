// The file-open dialog and the message box on POSIX systems. In a desktop session a helper
// program shows them; in a terminal the dialog becomes a prompt on standard error. Standard
// output belongs to the program's messages and is never written here.

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/control_signals.h"
#include "platform/posix/subprocess.h"

namespace curvlog::platform {
namespace {

constexpr const char* kDialogProgram = "zenity";
constexpr std::size_t kMaxKinds = 8;
constexpr std::size_t kArgumentCapacity = 512;

bool is_existing_file(const char* path) {
  struct stat status;
  return ::stat(path, &status) == 0 && !S_ISDIR(status.st_mode);
}

// Makes the chosen name absolute and hands it over; false (dismissed) when it does not fit.
bool accept_choice(const char* chosen, char (&path)[kPathCapacity]) {
  char absolute[PATH_MAX];
  if (::realpath(chosen, absolute) == nullptr) return false;
  const std::size_t length = std::strlen(absolute);
  if (length >= kPathCapacity) return false;
  std::memcpy(path, absolute, length + 1);
  return true;
}

// Appends length characters of text to out, in lower case when asked; false when they do not
// fit.
bool append(char (&out)[kArgumentCapacity], const char* text, std::size_t length,
            bool lower = false) {
  const std::size_t used = std::strlen(out);
  if (used + length >= kArgumentCapacity) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    out[used + i] = static_cast<char>(lower ? std::tolower(c) : c);
  }
  out[used + length] = '\0';
  return true;
}

// "--file-filter=NAME | P1 p1 P2 p2": each pattern as written and, when it has capitals, in
// lower case too, since the helper's patterns heed letter case and a name on disk may have
// either. "*.*" means every name, which the helper writes "*".
bool filter_argument(const FileKind& kind, char (&out)[kArgumentCapacity]) {
  out[0] = '\0';
  bool fits = append(out, "--file-filter=", 14) && append(out, kind.name, std::strlen(kind.name)) &&
              append(out, " |", 2);
  for (const char* start = kind.patterns; fits && *start != '\0';) {
    const std::size_t length = std::strcspn(start, ";");
    const bool every_name = length == 3 && std::memcmp(start, "*.*", 3) == 0;
    const char* pattern = every_name ? "*" : start;
    const std::size_t pattern_length = every_name ? 1 : length;
    bool capitals = false;
    for (std::size_t i = 0; i < pattern_length; ++i) {
      capitals = capitals || std::isupper(static_cast<unsigned char>(pattern[i])) != 0;
    }
    fits = append(out, " ", 1) && append(out, pattern, pattern_length) &&
           (!capitals || (append(out, " ", 1) && append(out, pattern, pattern_length, true)));
    start += start[length] == ';' ? length + 1 : length;
  }
  return fits;
}

enum class Shown { kChosen, kDismissed, kUnavailable };

Shown show_dialog_program(const char* title, std::span<const FileKind> kinds,
                          char (&path)[kPathCapacity]) {
  char title_argument[kArgumentCapacity];
  std::snprintf(title_argument, sizeof title_argument, "--title=%s", title);
  char filters[kMaxKinds][kArgumentCapacity];
  char* argv[3 + kMaxKinds + 1] = {const_cast<char*>(kDialogProgram),
                                   const_cast<char*>("--file-selection"), title_argument};
  std::size_t argc = 3;
  for (std::size_t i = 0; i < kinds.size() && i < kMaxKinds; ++i) {
    if (filter_argument(kinds[i], filters[i])) argv[argc++] = filters[i];
  }
  argv[argc] = nullptr;

  char chosen[PATH_MAX + 2];
  const posix::ProgramResult result = posix::run_program(argv, chosen, sizeof chosen);
  if (!result.started) return Shown::kUnavailable;
  if (result.interrupted || !result.exited || result.exit_status != 0 || result.output_truncated) {
    return Shown::kDismissed;
  }
  // One path and a line end.
  std::size_t length = result.output_length;
  while (length > 0 && (chosen[length - 1] == '\n' || chosen[length - 1] == '\r')) --length;
  chosen[length] = '\0';
  if (length == 0 || !is_existing_file(chosen)) return Shown::kDismissed;
  return accept_choice(chosen, path) ? Shown::kChosen : Shown::kDismissed;
}

enum class Line { kRead, kEnd, kInterrupted, kTooLong };

// Reads one line typed at the terminal. A console control signal ends the wait, so Ctrl+C at
// the prompt dismisses it at once.
Line read_terminal_line(char* line, std::size_t capacity) {
  const unsigned signals_before = posix::control_signal_count();
  std::size_t length = 0;
  bool too_long = false;
  for (;;) {
    if (!posix::wait_readable(STDIN_FILENO, signals_before)) return Line::kInterrupted;
    char c;
    ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (length == 0 && !too_long) return Line::kEnd;
      break;  // a last line without its line end
    }
    if (c == '\n') break;
    if (length + 1 < capacity) {
      line[length++] = c;
    } else {
      too_long = true;
    }
  }
  if (too_long) return Line::kTooLong;
  if (length > 0 && line[length - 1] == '\r') --length;
  line[length] = '\0';
  return Line::kRead;
}

bool prompt_at_terminal(const char* title, char (&path)[kPathCapacity]) {
  char line[PATH_MAX];
  for (;;) {
    std::fprintf(stderr, "%s: ", title);
    std::fflush(stderr);
    switch (read_terminal_line(line, sizeof line)) {
      case Line::kEnd:
      case Line::kInterrupted:
        std::fputc('\n', stderr);
        return false;
      case Line::kTooLong:
        std::fputs("The name is too long.\n", stderr);
        continue;
      case Line::kRead:
        break;
    }
    if (line[0] == '\0') return false;
    if (!is_existing_file(line)) {
      std::fprintf(stderr, "%s: no such file.\n", line);
      continue;
    }
    if (accept_choice(line, path)) return true;
    std::fprintf(stderr, "The full path of %s is too long.\n", line);
    return false;
  }
}

}  // namespace

bool choose_input_file(const char* title, std::span<const FileKind> kinds,
                       char (&path)[kPathCapacity]) {
  path[0] = '\0';
  if (posix::display_available()) {
    switch (show_dialog_program(title, kinds, path)) {
      case Shown::kChosen:
        return true;
      case Shown::kDismissed:
        return false;
      case Shown::kUnavailable:
        break;  // ask at the terminal instead
    }
  }
  return ::isatty(STDIN_FILENO) == 1 && prompt_at_terminal(title, path);
}

void show_message_box(const char* text, const char* caption) {
  if (posix::display_available()) {
    char title[kArgumentCapacity];
    char message[kArgumentCapacity];
    std::snprintf(title, sizeof title, "--title=%s", caption);
    std::snprintf(message, sizeof message, "--text=%s", text);
    char* argv[] = {const_cast<char*>(kDialogProgram),
                    const_cast<char*>("--info"),
                    const_cast<char*>("--no-markup"),
                    title,
                    message,
                    nullptr};
    const posix::ProgramResult result = posix::run_program(argv, nullptr, 0);
    // 0 is OK, 1 the window closed otherwise; anything else means the box was never seen.
    if (result.interrupted || (result.started && result.exited && result.exit_status <= 1)) return;
  }
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
}

}  // namespace curvlog::platform
