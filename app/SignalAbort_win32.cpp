// Windows: the console's Ctrl+C and Ctrl+Break take SIGINT's place, closing its window
// SIGTERM's. The system calls the handler on a thread of its own, so the callback runs there
// directly. Every event counts towards the fast exit, whatever its kind: there is no line
// setting to put back here, the system releases the ports with the process.
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <functional>

#include "app/SignalAbort.h"
#include "platform/Win32.h"

namespace norvane {
namespace {

constexpr int kExitInterrupted = 18;

std::function<void(int)>* callback = nullptr;
std::atomic<int> gentleLeft{0};

BOOL WINAPI OnConsoleEvent(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    const int signal = type == CTRL_CLOSE_EVENT ? SIGTERM : SIGINT;
    if (gentleLeft.fetch_sub(1) <= 0) {
        _exit(kExitInterrupted);
    }
    (*callback)(signal);
    if (type == CTRL_CLOSE_EVENT) {
        // The window goes and nobody is left to watch: every stop at once. The system ends the
        // process a few seconds after this returns; the program ends sooner by itself.
        while (gentleLeft.fetch_sub(1) > 0) {
            (*callback)(signal);
        }
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void InstallSignalAbort(std::function<void(int signal)> onAbort, int gentleSignals) {
    callback = new std::function<void(int)>(std::move(onAbort));  // lives as long as the handler
    gentleLeft = gentleSignals;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace norvane
