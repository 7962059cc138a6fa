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

// The routine registered with SetConsoleCtrlHandler: for Ctrl+C, Ctrl+Break, close, log-off
// and shut-down (types 0, 1, 2, 5, 6) it calls the handler of on_interrupt(), cancels a read
// that waits on the main thread and returns TRUE; FALSE for any other type or without a
// handler, so that the next routine (the system's default) runs.
BOOL WINAPI console_control_routine(DWORD control_type);

// Whether the routine has taken an interrupt: a pipe's read then fails before it starts.
bool interrupt_came();

// The file-open dialog as GetOpenFileNameA receives it: the record, every field not named in
// fill_open_file_name zero, and the filter it points to.
struct OpenFileName {
  OPENFILENAMEA record;
  char filter[256];  // each kind's name and patterns, NUL-terminated, then a NUL
};

// Fills the dialog for the title and the kinds, the first kind selected, path emptied to
// receive the choice, which must be an existing file. False when the kinds do not fit.
bool fill_open_file_name(const char* title, std::span<const FileKind> kinds,
                         char (&path)[kPathCapacity], OpenFileName& dialog);

}  // namespace curvlog::platform::win32
