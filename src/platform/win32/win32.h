#pragma once

// The parts of the Windows platform layer that its own tests call directly. Only files under
// src/platform/win32 and the Windows platform tests include this header.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// commdlg.h needs the declarations of windows.h before it.
#include <commdlg.h>

#include "platform/platform.h"

namespace curvlog::platform::win32 {

// The routine registered with SetConsoleCtrlHandler: hands the control type to the handler of
// register_control_handler and returns TRUE when that handler took it. FALSE without one, so
// that the next routine (the system's default) runs.
BOOL WINAPI console_control_routine(DWORD control_type);

// The dialog record as GetOpenFileNameA receives it: every field not taken from the dialog
// settings is zero, and lStructSize is the size of the full record.
void fill_open_file_name(const OpenFileDialog& dialog, OPENFILENAMEA& record);

}  // namespace curvlog::platform::win32
