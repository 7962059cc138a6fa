// The file-open dialog on Windows.

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace curvlog::platform {

static_assert(kDialogPathMustExist == OFN_PATHMUSTEXIST);
static_assert(kDialogFileMustExist == OFN_FILEMUSTEXIST);

namespace win32 {

void fill_open_file_name(const OpenFileDialog& dialog, OPENFILENAMEA& record) {
  record = OPENFILENAMEA{};
  record.lStructSize = sizeof(OPENFILENAMEA);
  record.hwndOwner = nullptr;
  record.lpstrFilter = dialog.filter;
  record.nFilterIndex = dialog.filter_index;
  record.lpstrFile = dialog.file;
  record.nMaxFile = dialog.max_file;
  record.lpstrTitle = dialog.title;
  record.Flags = dialog.flags;
}

}  // namespace win32

bool open_file_dialog(OpenFileDialog& dialog) {
  if (dialog.file == nullptr || dialog.max_file == 0) return false;
  dialog.file[0] = '\0';
  OPENFILENAMEA record;
  win32::fill_open_file_name(dialog, record);
  // FALSE for a dismissed dialog and for a dialog that could not be shown (no desktop, or a
  // buffer too small for the choice); either way there is no file.
  if (!GetOpenFileNameA(&record)) {
    dialog.file[0] = '\0';
    return false;
  }
  return dialog.file[0] != '\0';
}

}  // namespace curvlog::platform
