#include "platform/Thread_win32.h"

#include <process.h>

namespace norvane {

HANDLE StartThreadWithHandle(unsigned(__stdcall* proc)(void*), void* argument, DWORD access) {
    // Suspended until our duplicate is taken.
    const uintptr_t started = _beginthreadex(nullptr, 0, proc, argument, CREATE_SUSPENDED, nullptr);
    if (started == 0) {
        return nullptr;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(started);
    HANDLE duplicate = nullptr;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, thread, process, &duplicate, access, FALSE, 0)) {
        const DWORD error = GetLastError();
        // Never resumed: the argument stays the caller's.
        TerminateThread(thread, 1);
        CloseHandle(thread);
        SetLastError(error);
        return nullptr;
    }
    ResumeThread(thread);
    CloseHandle(thread);
    return duplicate;
}

}  // namespace norvane
