// Writes and reads over the overlapped device handle: a waiting transfer waits for its record's
// event within a time limit that follows the opening speed; a non-waiting one that the system
// leaves pending is handed to a completion thread, one per port at a time.
//
// A transfer the system still holds (a waiting one past its limit, or one whose completion
// thread is released by StopTransferThread) is cancelled and waited for before its buffer or
// its record is reused or freed.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Win32.h"
#include "serial/CommPort.h"
#include "serial/CommPortImpl_win32.h"
#include "serial/WireTime.h"

namespace norvane {

DWORD TransferredBytes(HANDLE file, OVERLAPPED* overlapped) {
    DWORD bytes = 0;
    if (!GetOverlappedResult(file, overlapped, &bytes, FALSE)) {
        return 0;
    }
    return bytes;
}

void CancelAndWait(HANDLE file, OVERLAPPED* overlapped) {
    CancelIoEx(file, overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(file, overlapped, &ignored, TRUE);
}

namespace {

// Access to our duplicates of the threads' handles: the exit code, and waiting for the end.
constexpr DWORD kTransferThreadAccess = THREAD_QUERY_INFORMATION | SYNCHRONIZE;

void Notify(HWND window, UINT message, int kind, DWORD bytes) {
    // With no window this lands in the calling thread's own queue, where PumpMessages or the
    // thread's end disposes of it.
    PostMessageA(window, message, static_cast<WPARAM>(kind), static_cast<LPARAM>(bytes));
}

unsigned __stdcall TransferCompletionProc(void* argument) {
    PendingTransfer* transfer = static_cast<PendingTransfer*>(argument);
    // The record's event is set by the system at the end of the transfer and reset only when
    // a new one is issued, so a completion before this wait is not missed.
    WaitForSingleObject(transfer->overlapped->hEvent, INFINITE);
    const DWORD bytes = TransferredBytes(transfer->file, transfer->overlapped);
    if (transfer->kind == TRANSFER_WRITE) {
        std::free(transfer->buffer);
    }
    const HWND window = transfer->completionWindow;
    const UINT message = transfer->completionMessage;
    const int kind = transfer->kind;
    delete transfer;
    Notify(window, message, kind, bytes);
    return 0;
}

uint32_t QueuedOutput(HANDLE file) {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(file, &errors, &status) ? status.cbOutQue : 0;
}

// A waiting write ends when the driver's output queue is empty and the line has no more than a
// UART's transmit FIFO left to send: where the driver buffers more than the line carries (a
// pseudo-terminal under Wine, USB adapters, Bluetooth links), writes would otherwise run ahead
// of the line. On a UART the driver completes the write once its last bytes are in the FIFO.
// False when that is not so by `deadline`; the driver's unsent bytes are then dropped.
bool WrittenOut(HANDLE file, LineSchedule& line, uint64_t deadline) {
    const bool inFifo = AwaitLine(
        line, deadline, line.FifoMicros(), [file] { return QueuedOutput(file); }, SystemClock());
    if (!inFifo) {
        PurgeComm(file, PURGE_TXCLEAR);
        line.Dropped(MonotonicMicros());
    }
    return inFifo;
}

DWORD MillisecondsLeft(uint64_t deadline) {
    const uint64_t now = MonotonicMicros();
    return now >= deadline ? 0 : static_cast<DWORD>((deadline - now + 999) / 1000);
}

bool ThreadRunning(HANDLE thread) {
    DWORD code = 0;
    return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

}  // namespace

bool AwaitLineLeft(HANDLE file, const LineSchedule& line) {
    return AwaitLine(
        line, LineLeftDeadline(line, MonotonicMicros()), 0, [file] { return QueuedOutput(file); },
        SystemClock());
}

bool CommPort::Impl::Transfer(CommPort& port, int kind, void* buffer, uint32_t length, bool wait) {
    Impl& impl = *port.impl;
    OVERLAPPED* overlapped = kind == TRANSFER_WRITE ? &impl.writeOverlapped : &impl.readOverlapped;
    auto release = [&] {
        if (kind == TRANSFER_WRITE) {
            std::free(buffer);
        }
    };
    const uint64_t deadline =
        MonotonicMicros() + uint64_t{TransferTimeLimitMs(length, port.baudRate)} * 1000;
    if (wait && !AwaitTransferEnd(port, kind, deadline)) {
        // Nothing was issued: the transfer under way keeps its record to itself.
        port.lastError = ERROR_IO_PENDING;
        release();
        Notify(impl.completionWindow, impl.completionMessage, kind, 0);
        return false;
    }
    const bool drain = wait && kind == TRANSFER_WRITE;
    if (kind == TRANSFER_WRITE) {
        impl.line.Add(MonotonicMicros(), length);
    }
    DWORD moved = 0;
    const BOOL done = kind == TRANSFER_WRITE
                          ? WriteFile(port.fileHandle, buffer, length, &moved, overlapped)
                          : ReadFile(port.fileHandle, buffer, length, &moved, overlapped);
    if (done) {
        release();
        const bool writtenOut = !drain || WrittenOut(port.fileHandle, impl.line, deadline);
        if (!writtenOut) {
            port.lastError = ERROR_IO_PENDING;
            moved = 0;
        }
        Notify(impl.completionWindow, impl.completionMessage, kind, moved);
        return writtenOut;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        port.lastError = error;
        release();
        Notify(impl.completionWindow, impl.completionMessage, kind, 0);
        return false;
    }
    port.lastError = ERROR_IO_PENDING;

    if (!wait) {
        auto* pending = new PendingTransfer{&port,
                                            kind,
                                            overlapped,
                                            buffer,
                                            port.fileHandle,
                                            impl.completionWindow,
                                            impl.completionMessage};
        impl.transferThread =
            StartThreadWithHandle(TransferCompletionProc, pending, kTransferThreadAccess);
        if (impl.transferThread == nullptr) {
            const DWORD threadError = GetLastError();
            delete pending;
            CancelAndWait(port.fileHandle, overlapped);
            release();
            port.lastError = threadError;
            Notify(impl.completionWindow, impl.completionMessage, kind, 0);
            return false;
        }
        impl.transferKind = kind;
        port.lastError = 0;
        return true;
    }

    bool result = false;
    moved = 0;
    if (WaitForSingleObject(overlapped->hEvent, MillisecondsLeft(deadline)) == WAIT_OBJECT_0) {
        if (GetOverlappedResult(port.fileHandle, overlapped, &moved, FALSE)) {
            // A success leaves `lastError` alone, here with the ERROR_IO_PENDING of the issue:
            // the port records what its calls met and clears nothing on success.
            result = !drain || WrittenOut(port.fileHandle, impl.line, deadline);
            if (!result) {
                moved = 0;
            }
        } else {
            port.lastError = GetLastError();
            moved = 0;
        }
    } else {
        // Past the limit: the system must let go of the buffer and the record before either is
        // reused. The result stays a failure even when the transfer ends during the cancel.
        CancelAndWait(port.fileHandle, overlapped);
        if (kind == TRANSFER_WRITE) {
            impl.line.Dropped(MonotonicMicros());
        }
        port.lastError = ERROR_IO_PENDING;
    }
    release();
    Notify(impl.completionWindow, impl.completionMessage, kind, moved);
    return result;
}

bool CommPort::Impl::TransferSlotFree(CommPort& port) {
    Impl& impl = *port.impl;
    if (impl.transferThread == nullptr) {
        return true;
    }
    if (ThreadRunning(impl.transferThread)) {
        return false;
    }
    CloseHandle(impl.transferThread);
    impl.transferThread = nullptr;
    return true;
}

bool CommPort::Impl::AwaitTransferEnd(CommPort& port, int kind, uint64_t deadline) {
    Impl& impl = *port.impl;
    if (impl.transferThread == nullptr || impl.transferKind != kind) {
        return true;
    }
    WaitForSingleObject(impl.transferThread, MillisecondsLeft(deadline));
    return TransferSlotFree(port);
}

bool CommPort::Write(const void* data, uint32_t length, bool wait) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!wait && !Impl::TransferSlotFree(*this)) {
        return false;
    }
    // The copy belongs to this one transfer; malloc(0) may give null, which WriteFile takes
    // for a zero-length write.
    void* copy = std::malloc(length > 0 ? length : 1);
    if (copy == nullptr) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (length > 0) {
        std::memcpy(copy, data, length);
    }
    return Impl::Transfer(*this, TRANSFER_WRITE, copy, length, wait);
}

bool CommPort::Read(void* buffer, uint32_t length, bool wait) {
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!wait && !Impl::TransferSlotFree(*this)) {
        return false;
    }
    std::memset(buffer, 0, length);
    return Impl::Transfer(*this, TRANSFER_READ, buffer, length, wait);
}

bool CommPort::StopTransferThread() {
    if (impl->transferThread == nullptr) {
        return true;
    }
    // Cancel rather than wake the thread early: the thread then finds its transfer ended and
    // frees the write copy only once the system is done with it.
    const bool cancelled = ThreadRunning(impl->transferThread);
    if (fileHandle != INVALID_PORT_HANDLE) {
        CancelIoEx(fileHandle, &impl->readOverlapped);
        CancelIoEx(fileHandle, &impl->writeOverlapped);
    }
    WaitForSingleObject(impl->transferThread, INFINITE);
    CloseHandle(impl->transferThread);
    impl->transferThread = nullptr;
    if (cancelled && impl->transferKind == TRANSFER_WRITE) {
        impl->line.Dropped(MonotonicMicros());  // what the system had not sent is dropped
    }
    return true;
}

bool CommPort::TransferInProgress() {
    return (impl->transferThread != nullptr && ThreadRunning(impl->transferThread)) ||
           !impl->line.FreeBy(MonotonicMicros());
}

}  // namespace norvane
