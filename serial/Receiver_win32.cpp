// The receiver thread: an overlapped read of one byte waits in the driver for the line's next
// byte, alongside the stop event; then everything else the driver holds is moved into the
// caller's ring at once. Nothing polls: the thread sleeps until a byte or the stop request
// comes, under Wine as on Windows (whose wait for a comm event Wine ends at once, hundreds of
// times a second, on a line without modem signals).
//
// The rest is read by the byte count the driver reports queued (ClearCommError), so such a read
// never waits for bytes that have not arrived.
#include <algorithm>
#include <cstring>

#include "platform/Win32.h"
#include "serial/CommPort.h"
#include "serial/CommPortImpl_win32.h"
#include "serial/CommPort_win32.h"
#include "serial/RingWriter.h"

namespace norvane {

namespace {

// Our duplicate of the receiver's handle: exit code and waiting for the end, never termination.
constexpr DWORD kReceiverThreadAccess = THREAD_QUERY_INFORMATION | SYNCHRONIZE;

// How long the receiver gives a cancelled read to let go of its record.
constexpr DWORD kCancelGraceMs = 2000;

// After a read that failed or brought nothing, the next one waits this long: a driver that
// keeps failing must not keep a processor busy. Shorter than the engine's shortest tick.
constexpr DWORD kRetryPauseMs = 10;

// The read that waits for the next byte, and that byte. The system writes both when the read
// ends, which may be after the loop that started it has moved on, so they live together on the
// heap.
struct PendingRead {
    OVERLAPPED overlapped{};
    uint8_t byte = 0;
};

struct ReceiverStart {
    HANDLE fileHandle;
    HANDLE stopEvent;
    RingWriter ring;
    std::atomic<bool>* lineGone;  // told when the driver refuses the device
};

// Errors with which the driver answers for a device that has gone away (a USB adapter
// unplugged); anything else is taken as a passing failure.
bool DeviceGoneError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_GEN_FAILURE ||
           error == ERROR_DEV_NOT_EXIST;
}

// Takes everything the driver holds: the part up to the ring's end, then the rest from its
// start. The write index is published (release) after the bytes are in place. With the ring
// full (one place short of the reader) the driver's queue is still emptied: its bytes are
// dropped and counted.
void DrainInput(const ReceiverStart& start, OVERLAPPED* own) {
    uint8_t overflow[256];
    // A device that never stops sending must not keep the receiver from its stop request.
    while (WaitForSingleObject(start.stopEvent, 0) != WAIT_OBJECT_0) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(start.fileHandle, &errors, &status)) {
            if (DeviceGoneError(GetLastError())) {
                start.lineGone->store(true, std::memory_order_release);
            }
            return;
        }
        if (status.cbInQue == 0) {
            return;
        }
        const RingWriter::ReadPlace to = start.ring.PlaceForRead(overflow, sizeof overflow);
        const DWORD wanted = std::min<DWORD>(status.cbInQue, to.room);
        DWORD got = 0;
        ResetEvent(own->hEvent);
        if (!ReadFile(start.fileHandle, to.place, wanted, &got, own)) {
            if (GetLastError() != ERROR_IO_PENDING ||
                !GetOverlappedResult(start.fileHandle, own, &got, TRUE)) {
                return;
            }
        }
        if (got == 0) {
            return;
        }
        start.ring.Accept(to, got);
    }
}

// Waits for the next byte or the stop request. True with `*got` bytes (0 or 1) in
// `read->byte`; false when a stop was asked for, with the read cancelled. `*released` turns
// false when the system has not let go of the read within our grace.
bool AwaitByte(const ReceiverStart& start, PendingRead* read, DWORD* got, bool* released) {
    *got = 0;
    ResetEvent(read->overlapped.hEvent);
    if (ReadFile(start.fileHandle, &read->byte, 1, got, &read->overlapped)) {
        return true;
    }
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        const HANDLE waits[2] = {read->overlapped.hEvent, start.stopEvent};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(start.fileHandle, &read->overlapped);
            *released =
                WaitForSingleObject(read->overlapped.hEvent, kCancelGraceMs) == WAIT_OBJECT_0;
            return false;
        }
        if (GetOverlappedResult(start.fileHandle, &read->overlapped, got, FALSE)) {
            return true;
        }
        error = GetLastError();
    }
    if (DeviceGoneError(error)) {
        start.lineGone->store(true, std::memory_order_release);
    }
    return true;
}

unsigned __stdcall ReceiverThreadProc(void* argument) {
    const ReceiverStart start = *static_cast<ReceiverStart*>(argument);
    delete static_cast<ReceiverStart*>(argument);

    // On the heap: should the system keep a cancelled read beyond our grace, the record and its
    // byte stay valid (and are left behind) instead of pointing into a dead stack. The reads of
    // DrainInput share the record.
    auto* read = new PendingRead{};
    read->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool released = true;
    for (;;) {
        DWORD got = 0;
        if (!AwaitByte(start, read, &got, &released)) {
            break;
        }
        if (got == 1) {
            start.ring.Store(&read->byte, 1);
        }
        DrainInput(start, &read->overlapped);
        // A read that brought nothing failed or was cut short: pause before the next, and
        // once the device has gone, only wait for the stop request.
        const bool gone = start.lineGone->load(std::memory_order_acquire);
        if ((got == 0 || gone) &&
            WaitForSingleObject(start.stopEvent, gone ? INFINITE : kRetryPauseMs) ==
                WAIT_OBJECT_0) {
            break;
        }
    }
    if (released) {
        CloseHandle(read->overlapped.hEvent);
        delete read;
    }
    return 0;
}

}  // namespace

bool CommPort::StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                             const std::atomic<uint32_t>* readIndex) {
    if (impl->receiverThread != nullptr) {
        return true;
    }
    if (fileHandle == INVALID_PORT_HANDLE) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (ring == nullptr || ringSize == 0 || writeIndex == nullptr || readIndex == nullptr ||
        impl->stopEvent == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    // Reads wait for their whole count while the receiver runs: its one-byte read waits for
    // the next byte, and the rest is read by the count the driver holds.
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(fileHandle, &impl->receiverlessTimeouts)) {
        lastError = GetLastError();
        return false;
    }
    timeouts.WriteTotalTimeoutMultiplier = impl->receiverlessTimeouts.WriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = impl->receiverlessTimeouts.WriteTotalTimeoutConstant;
    if (!SetCommTimeouts(fileHandle, &timeouts)) {
        lastError = GetLastError();
        return false;
    }
    impl->droppedBytes = 0;
    auto* start = new ReceiverStart{
        fileHandle, impl->stopEvent,
        RingWriter(ring, ringSize, writeIndex, readIndex, &impl->droppedBytes), &impl->lineGone};
    impl->receiverThread = StartThreadWithHandle(ReceiverThreadProc, start, kReceiverThreadAccess);
    if (impl->receiverThread == nullptr) {
        lastError = GetLastError();
        delete start;
        SetCommTimeouts(fileHandle, &impl->receiverlessTimeouts);
        return false;
    }
    return true;
}

uint64_t CommPort::DroppedBytes() const {
    return impl->droppedBytes.load(std::memory_order_relaxed);
}

bool CommPort::StopReceiver() {
    if (impl->receiverThread == nullptr) {
        return true;
    }
    if (impl->stopEvent != nullptr) {
        SetEvent(impl->stopEvent);
        // The receiver ends by itself: at once, or once its grace for a cancelled read is over.
        // It is never cut short, since it may hold a lock of the C runtime (its heap's, say),
        // and the ring is freed after we return, so it is waited out, with this thread's
        // messages dispatched meanwhile.
        while (MsgWaitForMultipleObjects(1, &impl->receiverThread, FALSE, INFINITE, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
            PumpMessages();
        }
    }
    CloseHandle(impl->receiverThread);
    impl->receiverThread = nullptr;
    ResetEvent(impl->stopEvent);  // a receiver started again runs until it is asked again
    SetCommTimeouts(fileHandle, &impl->receiverlessTimeouts);
    return true;
}

}  // namespace norvane
