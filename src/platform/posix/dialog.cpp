// The file-open dialog and the message box on POSIX systems. In a desktop session a helper
// program shows them; in a terminal the dialog becomes a prompt on standard error. Standard
// output belongs to the program's messages and is never written here.

#include <limits.h>
#include <poll.h>
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
constexpr int kMaxFilters = 8;
constexpr std::size_t kArgumentCapacity = 512;

bool is_existing_file(const char* path) {
  struct stat status;
  return ::stat(path, &status) == 0 && !S_ISDIR(status.st_mode);
}

// Makes the chosen name absolute and hands it over; false (dismissed) when it does not fit.
bool accept_choice(const char* chosen, OpenFileDialog& dialog) {
  char absolute[PATH_MAX];
  if (::realpath(chosen, absolute) == nullptr) return false;
  std::size_t length = std::strlen(absolute);
  if (length >= dialog.max_file) return false;
  std::memcpy(dialog.file, absolute, length + 1);
  return true;
}

// Appends text to out at *used; false when it does not fit.
bool append(char* out, std::size_t capacity, std::size_t* used, const char* text,
            std::size_t length) {
  if (*used + length >= capacity) return false;
  std::memcpy(out + *used, text, length);
  *used += length;
  out[*used] = '\0';
  return true;
}

// "--file-filter=NAME | P1 P2 ..." from one filter pair. The patterns of a pair are separated
// by ";". A name on disk may be in either case, so each pattern comes in its lower- and
// upper-case spelling as well; "*.*" means every name, which the helper writes "*".
bool build_filter_argument(const char* name, const char* patterns, char* out,
                           std::size_t capacity) {
  std::size_t used = 0;
  out[0] = '\0';
  if (!append(out, capacity, &used, "--file-filter=", 14) ||
      !append(out, capacity, &used, name, std::strlen(name)) ||
      !append(out, capacity, &used, " |", 2)) {
    return false;
  }
  for (const char* start = patterns; *start != '\0';) {
    const char* end = std::strchr(start, ';');
    std::size_t length = end != nullptr ? std::size_t(end - start) : std::strlen(start);
    if (length == 3 && std::memcmp(start, "*.*", 3) == 0) {
      start = "*";
      length = 1;
    }
    if (length != 0) {
      char spellings[3][kArgumentCapacity];
      if (length >= kArgumentCapacity) return false;
      for (std::size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(start[i]);
        spellings[0][i] = static_cast<char>(c);
        spellings[1][i] = static_cast<char>(std::tolower(c));
        spellings[2][i] = static_cast<char>(std::toupper(c));
      }
      for (int s = 0; s < 3; ++s) {
        spellings[s][length] = '\0';
        bool repeated = false;
        for (int t = 0; t < s; ++t)
          repeated = repeated || std::strcmp(spellings[s], spellings[t]) == 0;
        if (repeated) continue;
        if (!append(out, capacity, &used, " ", 1) ||
            !append(out, capacity, &used, spellings[s], length)) {
          return false;
        }
      }
    }
    if (end == nullptr) break;
    start = end + 1;
  }
  return true;
}

enum class Shown { kChosen, kDismissed, kUnavailable };

Shown show_dialog_program(const char* program, OpenFileDialog& dialog) {
  char title[kArgumentCapacity];
  std::snprintf(title, sizeof title, "--title=%s", dialog.title != nullptr ? dialog.title : "");

  // The pair that the dialog should select comes first: the helper starts with its first.
  const char* names[kMaxFilters];
  const char* patterns[kMaxFilters];
  int pairs = 0;
  for (const char* p = dialog.filter; p != nullptr && *p != '\0' && pairs < kMaxFilters;) {
    names[pairs] = p;
    p += std::strlen(p) + 1;
    patterns[pairs] = p;
    p += std::strlen(p) + 1;
    ++pairs;
  }
  int selected = dialog.filter_index >= 1 && int(dialog.filter_index) <= pairs
                     ? int(dialog.filter_index) - 1
                     : 0;
  char filters[kMaxFilters][kArgumentCapacity];
  char* argv[3 + kMaxFilters + 1];
  int argc = 0;
  argv[argc++] = const_cast<char*>(program);
  argv[argc++] = const_cast<char*>("--file-selection");
  argv[argc++] = title;
  for (int i = 0; i < pairs; ++i) {
    int pair = i == 0 ? selected : (i <= selected ? i - 1 : i);
    if (build_filter_argument(names[pair], patterns[pair], filters[i], kArgumentCapacity)) {
      argv[argc++] = filters[i];
    }
  }
  argv[argc] = nullptr;

  char chosen[PATH_MAX + 2];
  posix::ProgramResult result = posix::run_program(program, argv, chosen, sizeof chosen);
  if (!result.started) return Shown::kUnavailable;
  if (result.interrupted || !result.exited || result.exit_status != 0 || result.output_truncated) {
    return Shown::kDismissed;
  }
  // One path and a line end.
  std::size_t length = result.output_length;
  while (length > 0 && (chosen[length - 1] == '\n' || chosen[length - 1] == '\r')) --length;
  chosen[length] = '\0';
  if (length == 0 || !is_existing_file(chosen)) return Shown::kDismissed;
  return accept_choice(chosen, dialog) ? Shown::kChosen : Shown::kDismissed;
}

enum class Line { kRead, kEnd, kInterrupted, kTooLong };

// Reads one line typed at the terminal. A console control signal ends the wait (poll() is
// never resumed after a signal), so Ctrl+C at the prompt dismisses it at once.
Line read_terminal_line(char* line, std::size_t capacity) {
  unsigned signals_before = posix::control_signal_count();
  std::size_t length = 0;
  bool too_long = false;
  for (;;) {
    pollfd wait_for{STDIN_FILENO, POLLIN, 0};
    if (::poll(&wait_for, 1, -1) < 0) {
      if (errno == EINTR && posix::control_signal_count() == signals_before) continue;
      return errno == EINTR ? Line::kInterrupted : Line::kEnd;
    }
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

bool prompt_at_terminal(OpenFileDialog& dialog) {
  const char* title = dialog.title != nullptr ? dialog.title : "Open file";
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
    if (accept_choice(line, dialog)) return true;
    std::fprintf(stderr, "The full path of %s is too long.\n", line);
    return false;
  }
}

}  // namespace

bool open_file_dialog(OpenFileDialog& dialog) {
  if (dialog.file == nullptr || dialog.max_file == 0) return false;
  dialog.file[0] = '\0';
  char program[PATH_MAX];
  if (posix::display_available() && posix::find_program(kDialogProgram, program, sizeof program)) {
    switch (show_dialog_program(program, dialog)) {
      case Shown::kChosen:
        return true;
      case Shown::kDismissed:
        return false;
      case Shown::kUnavailable:
        break;  // ask at the terminal instead
    }
  }
  if (::isatty(STDIN_FILENO) == 1) return prompt_at_terminal(dialog);
  return false;
}

void show_message_box(const char* text, const char* caption) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "";
  char program[PATH_MAX];
  if (posix::display_available() && posix::find_program(kDialogProgram, program, sizeof program)) {
    char title[kArgumentCapacity];
    char message[kArgumentCapacity];
    std::snprintf(title, sizeof title, "--title=%s", caption);
    std::snprintf(message, sizeof message, "--text=%s", text);
    char* argv[] = {
        program, const_cast<char*>("--info"), const_cast<char*>("--no-markup"), title, message,
        nullptr};
    posix::ProgramResult result = posix::run_program(program, argv, nullptr, 0);
    // 0 is OK, 1 the window closed otherwise; anything else means the box was never seen.
    if (result.started && result.exited && result.exit_status <= 1) return;
    if (result.interrupted) return;
  }
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
}

}  // namespace curvlog::platform
