#pragma once

// Scratch files for the Windows platform tests, made with the standard library and the
// system's own calls, never with the layer under test.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/win32.h"

namespace curvlog::platform::win32 {

// A fresh directory in the temporary folder, removed with its files and subdirectories (one
// level deep) when the test ends.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char base[MAX_PATH];
    if (GetTempPathA(MAX_PATH, base) == 0) return;
    static unsigned serial = 0;
    path_ = std::string(base) + "curvlog-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(serial++);
    if (!CreateDirectoryA(path_.c_str(), nullptr)) path_.clear();
  }
  ~ScratchDirectory() { remove(path_, true); }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  static void remove(const std::string& directory, bool descend) {
    if (directory.empty()) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
      const std::string entry = directory + "\\" + found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileA(entry.c_str());
      } else if (descend && found.cFileName[0] != '.') {
        remove(entry, false);
      }
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryA(directory.c_str());
  }

  std::string path_;
};

inline bool write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  return static_cast<bool>(out << bytes);
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Byte i of a test file: not periodic in any block size, so a byte from the wrong position
// shows.
inline int pattern_byte(std::size_t i) {
  return static_cast<int>((i * 7 + i / 251) & 0xFF);
}

inline std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(pattern_byte(i));
  return bytes;
}

}  // namespace curvlog::platform::win32
