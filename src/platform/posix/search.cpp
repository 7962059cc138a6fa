// The wildcard search of one directory on POSIX systems.

#include <dirent.h>
#include <fnmatch.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

struct SearchState {
  DIR* directory = nullptr;
  char* mask = nullptr;     // owned copy of the mask, from std::malloc
  char* pattern = nullptr;  // the part after the directory, as an fnmatch pattern (malloc)

  ~SearchState() {
    if (directory != nullptr) (void)::closedir(directory);
    std::free(mask);
    std::free(pattern);
  }
};

void set_error(ErrorCode* error, int number) {
  if (error != nullptr) *error = static_cast<ErrorCode>(number);
}

// "*" and "?" are the only wildcards of a filemask, as on Windows: every other character stands
// for itself. fnmatch would also read "[" as a class and "\\" as an escape, so "[" is handed to
// it as the class "[[]" and escapes are off. Letter case does not count.
bool mask_matches(const char* fnmatch_pattern, const char* name) {
  return ::fnmatch(fnmatch_pattern, name, FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

// The mask's pattern in fnmatch's terms; "*.*" matches every name, with or without a dot.
char* make_fnmatch_pattern(const char* pattern) {
  if (std::strcmp(pattern, "*.*") == 0) pattern = "*";
  std::size_t length = 1;
  for (const char* c = pattern; *c != '\0'; ++c) length += *c == '[' ? 3 : 1;
  auto* result = static_cast<char*>(std::malloc(length));
  if (result == nullptr) return nullptr;
  char* out = result;
  for (const char* c = pattern; *c != '\0'; ++c) {
    if (*c == '[') {
      std::memcpy(out, "[[]", 3);
      out += 3;
    } else {
      *out++ = *c;
    }
  }
  *out = '\0';
  return result;
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
  const char* pattern = state->mask;
  if (slash != nullptr) {
    pattern = slash + 1;
    if (slash == state->mask) {
      directory = root;
    } else {
      *slash = '\0';
      directory = state->mask;
    }
  }
  state->pattern = make_fnmatch_pattern(pattern);
  if (state->pattern == nullptr) {
    set_error(error, ENOMEM);
    delete state;
    return false;
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
