// The wildcard search of one directory on POSIX systems.

#include <dirent.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/platform.h"

namespace curvlog::platform {
namespace {

bool same_letter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// "*" (any run of characters) and "?" (any one character) are the only wildcards; every other
// character stands for itself, in either letter case. A "*" that fails is retried one character
// further on.
bool mask_matches(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* retry = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      retry = name;
    } else if (*pattern != '\0' && (*pattern == '?' || same_letter(*pattern, *name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star;
      name = ++retry;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// The next entry that matches: kOne with its name, kNone at the end of the directory, kFailed
// with *error when reading it fails.
FileMatch::Count next_match(DIR* directory, const char* pattern, char (&name)[kPathCapacity],
                            ErrorCode* error) {
  for (;;) {
    // readdir ends the directory and fails alike with nullptr; only errno tells them apart.
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (entry == nullptr) {
      *error = static_cast<ErrorCode>(errno);
      return errno == 0 ? FileMatch::Count::kNone : FileMatch::Count::kFailed;
    }
    if (!mask_matches(pattern, entry->d_name)) continue;
    const std::size_t length = std::strlen(entry->d_name);
    if (length >= kPathCapacity) {
      *error = ENAMETOOLONG;
      return FileMatch::Count::kFailed;
    }
    std::memcpy(name, entry->d_name, length + 1);
    return FileMatch::Count::kOne;
  }
}

}  // namespace

FileMatch match_one_file(const char* mask) {
  FileMatch match;
  // The directory part ends at the last "/"; it keeps the "/" so that "/" alone is the root.
  char directory[kPathCapacity] = ".";
  const char* pattern = mask;
  if (const char* slash = std::strrchr(mask, '/')) {
    pattern = slash + 1;
    const std::size_t length = slash == mask ? 1 : std::size_t(slash - mask);
    if (length >= kPathCapacity) {
      match.error = ENAMETOOLONG;
      return match;
    }
    std::memcpy(directory, mask, length);
    directory[length] = '\0';
  }

  std::unique_ptr<DIR, int (*)(DIR*)> search(::opendir(directory), ::closedir);
  if (search == nullptr) {
    match.error = static_cast<ErrorCode>(errno);
    return match;
  }
  const FileMatch::Count first = next_match(search.get(), pattern, match.name, &match.error);
  if (first != FileMatch::Count::kOne) {
    // A failure before the first match counts as no match, with its own error.
    if (first == FileMatch::Count::kNone) match.error = ENOENT;
    return match;
  }
  char second[kPathCapacity];
  switch (next_match(search.get(), pattern, second, &match.error)) {
    case FileMatch::Count::kOne:
      match.count = FileMatch::Count::kSeveral;
      break;
    case FileMatch::Count::kNone:
      match.count = FileMatch::Count::kOne;
      break;
    default:
      match.count = FileMatch::Count::kFailed;
      break;
  }
  if (::closedir(search.release()) != 0) {
    match.close_failed = true;
    match.close_error = static_cast<ErrorCode>(errno);
  }
  return match;
}

}  // namespace curvlog::platform
