#pragma once

// Scratch files for the Windows platform tests, made with the system's own calls so that the
// layer under test never prepares its own fixtures.

#include <cstdio>
#include <string>

#include "platform/win32/win32.h"

namespace curvlog::platform::win32 {

// A fresh directory under the user's temporary folder, removed with its files (one level of
// subdirectories) when the test ends.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char base[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, base);
    for (unsigned attempt = 0; length > 0 && attempt < 1000; ++attempt) {
      char candidate[MAX_PATH];
      std::snprintf(candidate, sizeof candidate, "%scurvlog-%lu-%u", base, GetCurrentProcessId(),
                    attempt);
      if (CreateDirectoryA(candidate, nullptr)) {
        path_ = candidate;
        break;
      }
    }
  }
  ~ScratchDirectory() {
    if (!path_.empty()) remove_tree(path_, 0);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  const std::string& path() const { return path_; }

 private:
  static void remove_tree(const std::string& directory, int depth) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string entry = directory + "\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          if (depth < 1) remove_tree(entry, depth + 1);
        } else {
          DeleteFileA(entry.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
  }

  std::string path_;
};

inline bool write_whole_file(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

inline std::string read_whole_file(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
  std::string bytes;
  char block[4096];
  DWORD got = 0;
  while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
  CloseHandle(file);
  return bytes;
}

// Byte i of the test pattern: not periodic in any block size, so a byte from the wrong
// position shows.
inline unsigned char pattern_byte(std::size_t i) {
  return static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
}

inline std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(pattern_byte(i));
  return bytes;
}

}  // namespace curvlog::platform::win32
