// The Windows console control routine, the file-open dialog record, and the resources of
// curvlog.exe.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/cancel.h"
#include "base/version.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"
// After windows.h.
#include <winver.h>

namespace curvlog::platform::win32 {
namespace {

TEST(Win32ConsoleControl, RoutineCallsTheHandlerForTheFiveInterrupts) {
  on_interrupt(request_cancel);
  // Removing succeeds only for a registered routine; then it is put back.
  EXPECT_TRUE(SetConsoleCtrlHandler(console_control_routine, FALSE));
  EXPECT_TRUE(SetConsoleCtrlHandler(console_control_routine, TRUE));
  const BOOL handled[] = {TRUE, TRUE, TRUE, FALSE, FALSE, TRUE, TRUE, FALSE};  // types 0 to 7
  for (DWORD type = 0; type < 8; ++type) {
    internal::cancel_flag.store(0);
    EXPECT_EQ(console_control_routine(type), handled[type]) << type;
    EXPECT_EQ(cancel_requested(), handled[type] == TRUE) << type;
  }
  on_interrupt(nullptr);
  internal::cancel_flag.store(0);
  EXPECT_FALSE(SetConsoleCtrlHandler(console_control_routine, FALSE));
  EXPECT_EQ(console_control_routine(CTRL_C_EVENT), FALSE);  // the system's default decides
  EXPECT_FALSE(cancel_requested());
}

// A pipe whose writer stays silent: the interrupt, taken on another thread as the system
// delivers it, ends the read that waits for it. The writer goes after five seconds at the
// latest, so that a read the interrupt missed ends in an end of file, which fails the test.
TEST(Win32ConsoleControl, InterruptEndsAReadThatWaitsForAPipe) {
  const std::string name = "\\\\.\\pipe\\curvlog-test-" + std::to_string(GetCurrentProcessId());
  HANDLE writer = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                   1, 4096, 4096, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  File input;
  ErrorCode error = 0;
  ASSERT_TRUE(input.open(name.c_str(), &error)) << error;
  EXPECT_EQ(input.regular_size(), -1);
  on_interrupt(request_cancel);
  struct SystemThread {
    HANDLE writer;
    std::atomic<bool> done{false};
    static DWORD WINAPI run(void* context) {
      auto& self = *static_cast<SystemThread*>(context);
      Sleep(100);
      (void)console_control_routine(CTRL_BREAK_EVENT);
      for (int i = 0; i < 500 && !self.done; ++i) Sleep(10);
      CloseHandle(self.writer);
      return 0;
    }
  } system{writer};
  HANDLE thread = CreateThread(nullptr, 0, SystemThread::run, &system, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  char byte = 0;
  EXPECT_EQ(input.read(&byte, 1, &error), -1);
  EXPECT_EQ(input.read(&byte, 1, &error), -1);  // and every later read, before it waits
  EXPECT_EQ(error, ErrorCode{ERROR_OPERATION_ABORTED});
  system.done = true;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  on_interrupt(nullptr);
  internal::cancel_flag.store(0);
}

TEST(Win32FileDialog, RecordHoldsTheSettingsAndZeroElsewhere) {
  static const FileKind kKinds[] = {{"PCX", "*.PCX"}, {"JPEG", "*.JPG;*.JPEG"}, {"All", "*.*"}};
  static const char kFilter[] = "PCX\0*.PCX\0JPEG\0*.JPG;*.JPEG\0All\0*.*\0";  // and a NUL
  char path[260] = "left over";
  OpenFileName dialog;
  std::memset(&dialog, 0xAB, sizeof dialog);
  ASSERT_TRUE(fill_open_file_name("Open PCX file", kKinds, path, dialog));
  EXPECT_EQ(std::memcmp(dialog.filter, kFilter, sizeof kFilter), 0);
  EXPECT_EQ(path[0], '\0');
  // The full record, which is 88 bytes in a 32-bit build.
  EXPECT_EQ(dialog.record.lStructSize, sizeof(void*) == 4 ? 88u : 152u);
  OPENFILENAMEA expected;
  std::memset(&expected, 0, sizeof expected);
  expected.lStructSize = dialog.record.lStructSize;
  expected.lpstrFilter = dialog.filter;
  expected.nFilterIndex = 1;
  expected.lpstrFile = path;
  expected.nMaxFile = 260;
  expected.lpstrTitle = dialog.record.lpstrTitle;
  expected.Flags = 0x1800;
  EXPECT_STREQ(dialog.record.lpstrTitle, "Open PCX file");
  EXPECT_EQ(std::memcmp(&dialog.record, &expected, sizeof expected), 0);
}

// The version Windows shows for curvlog.exe is the one it prints, and the manifest that makes
// names UTF-8 is embedded.
TEST(Win32Resources, ExecutableCarriesVersionAndUtf8Manifest) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(CURVLOG_EXE, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(CURVLOG_EXE, 0, size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(
      VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductVersion", &value, &length));
  EXPECT_STREQ(static_cast<const char*>(value), kVersion);
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  char numbers[40];
  std::snprintf(numbers, sizeof numbers, "%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
                fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16);
  EXPECT_STREQ(numbers, kVersion);

  HMODULE exe = LoadLibraryExA(CURVLOG_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HRSRC manifest = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(exe, manifest))),
                         SizeofResource(exe, manifest));
  EXPECT_NE(text.find(">UTF-8</activeCodePage>"), std::string::npos);
  FreeLibrary(exe);
}

// A fresh directory in the temporary folder, removed with its files when the test ends.
struct ScratchDirectory {
  std::string path;
  ScratchDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    path = std::string(base) + "curvlog-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

TEST(Win32Files, OutputIsExclusiveAndInputIsSharedForReading) {
  ScratchDirectory scratch;
  const std::string path = scratch.path + "\\CURVLOG.PRN";
  OutputFile output;
  ErrorCode error = 0;
  ASSERT_TRUE(output.create_new(path.c_str(), &error));
  EXPECT_EQ(output.write("    7       12.35\r\nx\n", 21, &error), 21);  // no text translation
  File reader;
  EXPECT_FALSE(reader.open(path.c_str(), &error));
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_SHARING_VIOLATION));
  output.close();
  std::ifstream written(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "    7       12.35\r\nx\n");
  written.close();

  File first;
  File second;
  ASSERT_TRUE(first.open(path.c_str(), nullptr));
  EXPECT_TRUE(second.open(path.c_str(), nullptr));
  EXPECT_FALSE(delete_file(path.c_str(), &error));  // shared for reading only
  EXPECT_EQ(error, static_cast<ErrorCode>(ERROR_SHARING_VIOLATION));
}

}  // namespace
}  // namespace curvlog::platform::win32
