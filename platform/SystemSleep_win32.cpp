// Windows rounds Sleep up to its timer's tick, 15.6 ms unless a program has asked for less:
// a wait for a line that falls free in 2 ms would leave it idle for 13. A high-resolution
// waitable timer ends a sleep within about a millisecond whatever the tick; before Windows 10
// 1803 there is none, and the tick is set to 1 ms while a job runs (FineTimerHold).
#include <mutex>

#include "platform/SystemSleep.h"
#include "platform/Win32.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace norvane {
namespace {

constexpr DWORD kTimerAccess = SYNCHRONIZE | TIMER_MODIFY_STATE;

HANDLE NewHighResolutionTimer() {
    return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                  kTimerAccess);
}

bool HighResolutionTimers() {
    static const bool available = [] {
        const HANDLE timer = NewHighResolutionTimer();
        if (timer == nullptr) {
            return false;
        }
        CloseHandle(timer);
        return true;
    }();
    return available;
}

// timeBeginPeriod and timeEndPeriod, looked up in winmm.dll only where they are needed, so the
// program imports no more than it did.
using TimePeriodCall = UINT(WINAPI*)(UINT);
struct TimePeriodCalls {
    TimePeriodCall begin = nullptr;
    TimePeriodCall end = nullptr;
};

TimePeriodCall Lookup(HMODULE module, const char* name) {
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<TimePeriodCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const TimePeriodCalls& TimePeriod() {
    static const TimePeriodCalls calls = [] {
        TimePeriodCalls found;
        if (const HMODULE winmm = LoadLibraryA("winmm.dll")) {
            found.begin = Lookup(winmm, "timeBeginPeriod");
            found.end = Lookup(winmm, "timeEndPeriod");
        }
        return found;
    }();
    return calls;
}

std::mutex holdMutex;
int holders = 0;

}  // namespace

void SystemSleepMicros(uint64_t micros) {
    if (HighResolutionTimers()) {
        // One timer per sleep: no handle outlives the thread that slept.
        if (const HANDLE timer = NewHighResolutionTimer()) {
            LARGE_INTEGER due;
            due.QuadPart = -static_cast<LONGLONG>(micros * 10);  // relative, in 100 ns
            const bool slept = SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
                               WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
            CloseHandle(timer);
            if (slept) {
                return;
            }
        }
    }
    ::Sleep(static_cast<DWORD>((micros + 999) / 1000));
}

FineTimerHold::FineTimerHold() {
    if (HighResolutionTimers()) {
        return;
    }
    std::lock_guard lock(holdMutex);
    if (holders++ == 0 && TimePeriod().begin != nullptr) {
        TimePeriod().begin(1);
    }
}

FineTimerHold::~FineTimerHold() {
    if (HighResolutionTimers()) {
        return;
    }
    std::lock_guard lock(holdMutex);
    if (--holders == 0 && TimePeriod().end != nullptr) {
        TimePeriod().end(1);
    }
}

}  // namespace norvane
