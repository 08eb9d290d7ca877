// The receiver thread: sleeps in WaitForMultipleObjects until a character event or the stop
// event, then moves what the driver holds into the caller's ring.
//
// It reads only the byte count the driver reports queued (ClearCommError), so a read never
// waits for bytes that have not arrived: it cannot block, whatever the port's read timeouts.
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

// After a wake-up that reported no event: how many 1 ms looks at the queue before the next
// wait for an event.
constexpr int kQuietPolls = 50;

// How long the receiver gives a cancelled wait for a comm event to let go of its record.
constexpr DWORD kCancelGraceMs = 2000;

// An overlapped wait for a comm event and the mask the system fills in when it ends. The system
// writes both when the wait ends, which may be after the loop that started it has moved on, so
// they live together on the heap.
struct CommEventWait {
    OVERLAPPED overlapped{};
    DWORD mask = 0;
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

// Drains the queue once a millisecond for a while. True when a stop was asked for.
bool PollAWhile(const ReceiverStart& start, OVERLAPPED* own) {
    for (int poll = 0; poll < kQuietPolls; ++poll) {
        if (WaitForSingleObject(start.stopEvent, 1) == WAIT_OBJECT_0) {
            return true;
        }
        DrainInput(start, own);
    }
    return false;
}

unsigned __stdcall ReceiverThreadProc(void* argument) {
    const ReceiverStart start = *static_cast<ReceiverStart*>(argument);
    delete static_cast<ReceiverStart*>(argument);

    SetCommMask(start.fileHandle, EV_RXCHAR);
    // On the heap: should the system keep a cancelled wait beyond our grace, the record and its
    // mask stay valid (and are left behind) instead of pointing into a dead stack. The event
    // resets by hand, as the system requires of an overlapped wait for a comm event; the
    // reads of DrainInput share the record.
    auto* wait = new CommEventWait{};
    wait->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED* own = &wait->overlapped;
    const HANDLE waits[2] = {own->hEvent, start.stopEvent};
    bool waitPending = false;
    for (;;) {
        wait->mask = 0;
        ResetEvent(own->hEvent);
        if (WaitCommEvent(start.fileHandle, &wait->mask, own)) {
            waitPending = false;
        } else {
            const DWORD error = GetLastError();
            waitPending = error == ERROR_IO_PENDING;
            if (DeviceGoneError(error)) {
                start.lineGone->store(true, std::memory_order_release);
            }
        }
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0) {
            waitPending = false;
            DWORD ignored = 0;
            GetOverlappedResult(start.fileHandle, own, &ignored, FALSE);
            // Drained on every wake-up, not only for EV_RXCHAR: bytes are never left waiting
            // for a next character.
            DrainInput(start, own);
            // A wait that ends with no event at all (Wine ends them so, hundreds of times a
            // second, on a line without modem signals) is not armed again at once: the
            // receiver would spin. It looks at the driver's queue every millisecond for a
            // while instead, which keeps the delay of a byte below the engine's tick, and ends
            // early for a stop request.
            if ((wait->mask & EV_RXCHAR) == 0 && PollAWhile(start, own)) {
                break;
            }
        } else if (which == WAIT_OBJECT_0 + 1) {
            break;
        } else if (which == WAIT_FAILED) {
            break;
        }
    }
    SetCommMask(start.fileHandle, 0);  // ends a pending wait for a comm event
    bool released = true;
    if (waitPending) {
        CancelIoEx(start.fileHandle, own);
        released = WaitForSingleObject(own->hEvent, kCancelGraceMs) == WAIT_OBJECT_0;
    }
    if (released) {
        CloseHandle(own->hEvent);
        delete wait;
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
    impl->droppedBytes = 0;
    auto* start = new ReceiverStart{
        fileHandle, impl->stopEvent,
        RingWriter(ring, ringSize, writeIndex, readIndex, &impl->droppedBytes), &impl->lineGone};
    impl->receiverThread = StartThreadWithHandle(ReceiverThreadProc, start, kReceiverThreadAccess);
    if (impl->receiverThread == nullptr) {
        lastError = GetLastError();
        delete start;
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
        // The receiver ends by itself: at once, or once its grace for a cancelled wait is over.
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
    return true;
}

}  // namespace norvane
