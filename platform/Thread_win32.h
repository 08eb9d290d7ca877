// Starting a Win32 thread whose end someone waits for or whose exit code someone reads.
#pragma once

#include "platform/Win32.h"

namespace norvane {

// Starts `proc` on a new thread and returns our own duplicate of its handle with `access`,
// taken before the thread can run (and so before it can end); null on failure with the system
// error left in GetLastError(). The thread's own handle is closed at once: the thread owns
// itself, and whoever needs it keeps the duplicate. When no thread runs, `argument` stays the
// caller's.
HANDLE StartThreadWithHandle(unsigned(__stdcall* proc)(void*), void* argument, DWORD access);

}  // namespace norvane
