// The Windows console control routine, the file-open dialog record, the locale query, and the
// resources of curvlog.exe.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/cancel.h"
#include "app/console.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"
// After windows.h.
#include <winver.h>

namespace curvlog::platform::win32 {
namespace {

// The system passes the control type to the registered routine; these are its answers.
TEST(Win32ConsoleControl, RoutineHandsTheTypeToTheRegisteredHandler) {
  struct Case {
    DWORD type;
    BOOL handled;
  };
  const Case cases[] = {
      {CTRL_C_EVENT, TRUE}, {CTRL_BREAK_EVENT, TRUE},  {CTRL_CLOSE_EVENT, TRUE},    {3, FALSE},
      {4, FALSE},           {CTRL_LOGOFF_EVENT, TRUE}, {CTRL_SHUTDOWN_EVENT, TRUE}, {7, FALSE},
      {0xFFFFFFFF, FALSE}};
  register_control_handler(handle_console_control);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    reset_cancel_flag_for_testing();
    EXPECT_EQ(console_control_routine(c.type), c.handled);
    EXPECT_EQ(cancel_requested(), c.handled == TRUE);
  }
  remove_control_handler(handle_console_control);
  reset_cancel_flag_for_testing();
  // Removed: the next routine in the system's chain decides.
  EXPECT_EQ(console_control_routine(CTRL_C_EVENT), FALSE);
  EXPECT_FALSE(cancel_requested());
}

TEST(Win32ConsoleControl, RegistrationReachesTheSystem) {
  register_control_handler(handle_console_control);
  // Removing a routine succeeds only when it is registered; put it back for the layer to end.
  EXPECT_TRUE(SetConsoleCtrlHandler(console_control_routine, FALSE));
  EXPECT_TRUE(SetConsoleCtrlHandler(console_control_routine, TRUE));
  remove_control_handler(handle_console_control);
  EXPECT_FALSE(SetConsoleCtrlHandler(console_control_routine, FALSE));
}

TEST(Win32FileDialog, RecordHoldsTheSettingsAndZeroElsewhere) {
  static const char kFilter[] = "PCX\0*.PCX\0All\0*.*\0";
  char file[260] = "left over";
  OpenFileDialog dialog;
  dialog.filter = kFilter;
  dialog.filter_index = 1;
  dialog.file = file;
  dialog.max_file = sizeof file;
  dialog.title = "Open PCX file";
  dialog.flags = kDialogPathMustExist | kDialogFileMustExist;

  OPENFILENAMEA record;
  std::memset(&record, 0xAB, sizeof record);
  fill_open_file_name(dialog, record);
  // The full record: 88 bytes in a 32-bit build.
  EXPECT_EQ(record.lStructSize, sizeof(void*) == 4 ? 88u : 152u);
  EXPECT_EQ(record.hwndOwner, nullptr);
  EXPECT_EQ(record.lpstrFilter, kFilter);
  EXPECT_EQ(record.nFilterIndex, 1u);
  EXPECT_EQ(record.lpstrFile, file);
  EXPECT_EQ(record.nMaxFile, 260u);
  EXPECT_STREQ(record.lpstrTitle, "Open PCX file");
  EXPECT_EQ(record.Flags, static_cast<DWORD>(0x1800));

  OPENFILENAMEA expected_zero = record;
  expected_zero.lStructSize = 0;
  expected_zero.lpstrFilter = nullptr;
  expected_zero.nFilterIndex = 0;
  expected_zero.lpstrFile = nullptr;
  expected_zero.nMaxFile = 0;
  expected_zero.lpstrTitle = nullptr;
  expected_zero.Flags = 0;
  OPENFILENAMEA zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_EQ(std::memcmp(&expected_zero, &zero, sizeof zero), 0);
}

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(Win32FileDialog, WithoutADesktopThereIsNoFile) {
  // On a real desktop the dialog would wait for a user.
  if (!running_under_wine()) GTEST_SKIP() << "needs Wine without a display";
  char file[260] = "left over";
  OpenFileDialog dialog;
  dialog.filter = "All\0*.*\0";
  dialog.file = file;
  dialog.max_file = sizeof file;
  dialog.title = "Open PCX file";
  EXPECT_FALSE(open_file_dialog(dialog));
  EXPECT_STREQ(file, "");
}

TEST(Win32Locale, DecimalSeparatorIsOneCharacterOrAnError) {
  char separator[4] = "xyz";
  ErrorCode error = 0;
  const int written = query_decimal_separator(separator, sizeof separator, &error);
  ASSERT_GE(written, 2);
  EXPECT_EQ(separator[written - 1], '\0');
  EXPECT_EQ(std::strlen(separator), static_cast<std::size_t>(written - 1));

  char tiny[1];
  EXPECT_EQ(query_decimal_separator(tiny, sizeof tiny, &error), 0);
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_INSUFFICIENT_BUFFER));
}

// curvlog.exe itself: the version the program prints is the one Windows shows, and the
// manifest that makes names UTF-8 is embedded.
TEST(Win32Resources, ExecutableCarriesVersionAndUtf8Manifest) {
  const char* exe = CURVLOG_EXE;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(exe, 0, size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(
      VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductVersion", &value, &length));
  EXPECT_STREQ(static_cast<const char*>(value), kVersion);
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 5u);
  EXPECT_EQ(fixed->dwFileVersionLS, 2u << 16);

  HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(resource, nullptr);
  const char* text = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  const std::string manifest(text, SizeofResource(module, resource));
  EXPECT_NE(manifest.find(">UTF-8</activeCodePage>"), std::string::npos);
  FreeLibrary(module);
}

}  // namespace
}  // namespace curvlog::platform::win32
