// The file-open dialog on Windows.

#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {
namespace win32 {

bool fill_open_file_name(const char* title, std::span<const FileKind> kinds,
                         char (&path)[kPathCapacity], OpenFileName& dialog) {
  std::size_t used = 0;
  for (const FileKind& kind : kinds) {
    for (const char* text : {kind.name, kind.patterns}) {
      const std::size_t length = std::strlen(text) + 1;
      if (used + length >= sizeof dialog.filter) return false;
      std::memcpy(dialog.filter + used, text, length);
      used += length;
    }
  }
  dialog.filter[used] = '\0';
  path[0] = '\0';
  dialog.record = OPENFILENAMEA{};
  dialog.record.lStructSize = sizeof(OPENFILENAMEA);
  dialog.record.hwndOwner = nullptr;
  dialog.record.lpstrFilter = dialog.filter;
  dialog.record.nFilterIndex = 1;
  dialog.record.lpstrFile = path;
  dialog.record.nMaxFile = kPathCapacity;
  dialog.record.lpstrTitle = title;
  dialog.record.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  return true;
}

}  // namespace win32

bool choose_input_file(const char* title, std::span<const FileKind> kinds,
                       char (&path)[kPathCapacity]) {
  win32::OpenFileName dialog;
  // FALSE for a dismissed dialog and for a dialog that could not be shown (no desktop, or a
  // buffer too small for the choice); either way there is no file.
  if (!win32::fill_open_file_name(title, kinds, path, dialog) ||
      !GetOpenFileNameA(&dialog.record)) {
    path[0] = '\0';
    return false;
  }
  return path[0] != '\0';
}

}  // namespace curvlog::platform
