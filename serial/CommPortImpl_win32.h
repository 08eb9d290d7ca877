// Private state of CommPort on Win32, shared by the back end's source files.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/SystemSleep.h"
#include "platform/Thread_win32.h"
#include "platform/Win32.h"
#include "serial/CommPort.h"
#include "serial/WireTime.h"

namespace norvane {

constexpr int TRANSFER_READ = 1;
constexpr int TRANSFER_WRITE = 2;

struct CommPort::Impl {
    std::atomic<uint64_t> droppedBytes{0};  // counted by the receiver, read by anyone
    HWND hiddenWindow =
        nullptr;  // "DummyCommunicationPortIconWindow_<port>", owned by Open's thread
    UINT completionMessage = 0;  // nothing sets these: a notification is WM_NULL to the thread
    HWND completionWindow = nullptr;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};
    HANDLE stopEvent = nullptr;  // ends the receiver; MODE_RECEIVER only
    COMMTIMEOUTS savedTimeouts{};
    COMMTIMEOUTS receiverlessTimeouts{};  // the port's own, put back when the receiver stops
    // Our own duplicates of the threads' handles: they stay valid after the threads have ended
    // and closed their own. Closed when the port forgets the thread.
    HANDLE receiverThread = nullptr;
    HANDLE transferThread = nullptr;
    int transferKind = 0;  // of the transfer on `transferThread`
    // When the line has sent every byte written to it, at the speed and frame now set.
    LineSchedule line;
    std::string eventName;
    HANDLE namedEvent = nullptr;
    // Set by the receiver once the driver refuses the device (a USB adapter unplugged).
    std::atomic<bool> lineGone{false};
    // The system's timer at 1 ms while the port is open, where it has no finer timers.
    std::unique_ptr<FineTimerHold> fineTimer;

    // Steps shared by both forms of Open: the hidden window, the device, the mode's timeouts
    // and events. False with `lastError` set when the device cannot be opened.
    static bool OpenDevice(CommPort& port, const char* name, uint32_t speed, int openMode);
    // Ends a failed Open: releases everything and keeps the failing call's error.
    static bool FailOpen(CommPort& port, DWORD error);
    // The body shared by Write and Read; `buffer` is the write copy (freed here or by the
    // completion thread) or the caller's read buffer.
    static bool Transfer(CommPort& port, int kind, void* buffer, uint32_t length, bool wait);
    // Forgets a transfer thread that has ended. False while one still runs.
    static bool TransferSlotFree(CommPort& port);
    // Before a waiting transfer: waits, by `deadline` (MonotonicMicros), for a non-waiting one
    // of the same kind, whose record it would otherwise reuse. False when it still runs then.
    static bool AwaitTransferEnd(CommPort& port, int kind, uint64_t deadline);
};

// A non-waiting transfer handed to its completion thread, which frees it.
struct PendingTransfer {
    CommPort* port;
    int kind;  // TRANSFER_READ or TRANSFER_WRITE
    OVERLAPPED* overlapped;
    void* buffer;  // the caller's buffer (read) or the write copy (write, freed by the thread)
    HANDLE file;
    HWND completionWindow;
    UINT completionMessage;
};

// Waits until every byte handed to `file` has left the line by `line`'s account and the
// driver's queue, within half a second beyond the account; false when they have not by then.
bool AwaitLineLeft(HANDLE file, const LineSchedule& line);

// Reads the number of bytes of a transfer that has ended (0 when the system reports none).
DWORD TransferredBytes(HANDLE file, OVERLAPPED* overlapped);

// Cancels a transfer of `file` that may still be pending on `overlapped` and waits until the
// system has let go of the record and its buffer.
void CancelAndWait(HANDLE file, OVERLAPPED* overlapped);

}  // namespace norvane
