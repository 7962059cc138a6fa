// The wildcard search of one directory on POSIX systems.

#include <dirent.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

struct SearchState {
  DIR* directory = nullptr;
  char* mask = nullptr;           // owned copy of the mask, from std::malloc
  const char* pattern = nullptr;  // the part after the directory, inside mask

  ~SearchState() {
    if (directory != nullptr) (void)::closedir(directory);
    std::free(mask);
  }
};

void set_error(ErrorCode* error, int number) {
  if (error != nullptr) *error = static_cast<ErrorCode>(number);
}

char fold(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// "*" and "?" are the only wildcards of a filemask; every other character, "[" and "\"
// included, stands for itself. Letter case does not count.
bool mask_matches(const char* pattern, const char* name) {
  // A pattern of "*.*" matches every name, with or without a dot.
  if (std::strcmp(pattern, "*.*") == 0) return true;
  const char* star = nullptr;  // the last "*" seen, and where its match ends so far
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != '\0' && (*pattern == '?' || fold(*pattern) == fold(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      // Let the last "*" take one character more and try again after it.
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// The next directory entry that matches. kNoMoreFiles at the end of the directory, kFailed
// with *error when reading it fails.
WildcardSearch::Next next_match(SearchState& state, char (&name)[kFoundNameCapacity],
                                ErrorCode* error) {
  for (;;) {
    // readdir ends the directory and fails alike with nullptr; only errno tells them apart.
    errno = 0;
    const dirent* entry = ::readdir(state.directory);
    if (entry == nullptr) {
      if (errno == 0) return WildcardSearch::Next::kNoMoreFiles;
      set_error(error, errno);
      return WildcardSearch::Next::kFailed;
    }
    if (!mask_matches(state.pattern, entry->d_name)) continue;
    std::size_t length = std::strlen(entry->d_name);
    if (length >= kFoundNameCapacity) {
      set_error(error, ENAMETOOLONG);
      return WildcardSearch::Next::kFailed;
    }
    std::memcpy(name, entry->d_name, length + 1);
    return WildcardSearch::Next::kFound;
  }
}

}  // namespace

WildcardSearch::~WildcardSearch() {
  delete static_cast<SearchState*>(state_);
}

bool WildcardSearch::first(const char* mask, char (&name)[kFoundNameCapacity], ErrorCode* error) {
  delete static_cast<SearchState*>(state_);
  state_ = nullptr;
  name[0] = '\0';

  auto* state = new (std::nothrow) SearchState;
  std::size_t length = std::strlen(mask);
  if (state == nullptr || (state->mask = static_cast<char*>(std::malloc(length + 1))) == nullptr) {
    delete state;
    set_error(error, ENOMEM);
    return false;
  }
  std::memcpy(state->mask, mask, length + 1);

  // The directory part ends at the last "/"; it keeps the "/" so that "/" alone stays the root.
  const char* directory = ".";
  char* slash = std::strrchr(state->mask, '/');
  char root[2] = "/";
  if (slash != nullptr) {
    state->pattern = slash + 1;
    if (slash == state->mask) {
      directory = root;
    } else {
      *slash = '\0';
      directory = state->mask;
    }
  } else {
    state->pattern = state->mask;
  }

  state->directory = ::opendir(directory);
  if (state->directory == nullptr) {
    set_error(error, errno);
    delete state;
    return false;
  }
  switch (next_match(*state, name, error)) {
    case Next::kFound:
      state_ = state;
      return true;
    case Next::kNoMoreFiles:
      set_error(error, ENOENT);
      break;
    case Next::kFailed:
      break;
  }
  delete state;
  return false;
}

WildcardSearch::Next WildcardSearch::next(char (&name)[kFoundNameCapacity], ErrorCode* error) {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) {
    set_error(error, EBADF);
    return Next::kFailed;
  }
  return next_match(*state, name, error);
}

bool WildcardSearch::close(ErrorCode* error) {
  auto* state = static_cast<SearchState*>(state_);
  state_ = nullptr;
  if (state == nullptr) return true;  // nothing was started, so nothing can fail to end
  DIR* directory = state->directory;
  state->directory = nullptr;
  delete state;
  if (::closedir(directory) != 0) {
    set_error(error, errno);
    return false;
  }
  return true;
}

}  // namespace curvlog::platform
