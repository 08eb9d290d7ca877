// CommPort's Win32 back end under Wine, against norvane-devsim --pace on COM1 (a device that
// greets every 250 ms and takes bytes at the line's speed, so a pseudo-terminal's buffer fills
// and transfers really wait). COM2 is mapped to nothing; the system lists COM1 and COM12 as its
// ports (SERIALCOMM).
// Prints "PASS <name>" or "FAIL <name>: <why>" per check; the exit status is the failure count.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Win32.h"
#include "serial/CommPort.h"
#include "serial/CommPort_win32.h"
#include "serial/PortList.h"

namespace {

using norvane::CommPort;
using norvane::MODE_RECEIVER;

int failures = 0;

void Report(const char* name, bool ok, const std::string& why = {}) {
    if (ok) {
        std::printf("PASS %s\n", name);
    } else {
        ++failures;
        std::printf("FAIL %s: %s\n", name, why.c_str());
    }
    std::fflush(stdout);
}

bool EventExists(const std::string& name) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    if (event == nullptr) {
        return false;
    }
    CloseHandle(event);
    return true;
}

bool HiddenWindowExists(const char* port) {
    const std::string title = std::string("DummyCommunicationPortIconWindow_") + port;
    return FindWindowA(nullptr, title.c_str()) != nullptr;
}

uint64_t NowMs() {
    return GetTickCount64();
}

// Names follow the number of live ports, so they come back after a port goes.
void TestEventNames() {
    auto a = std::make_unique<CommPort>();
    auto b = std::make_unique<CommPort>();
    const bool both =
        EventExists("_CommPortEventName_00001") && EventExists("_CommPortEventName_00002");
    a.reset();
    auto c = std::make_unique<CommPort>();
    const bool shared =
        !EventExists("_CommPortEventName_00001") && EventExists("_CommPortEventName_00002");
    Report("named events follow the live port count", both && shared,
           both ? "after A went, C did not share B's name" : "A and B do not own 00001, 00002");
}

// Nobody resets the event: false after the checks, and the event stays set. Somebody who
// opened it by name and resets it: true.
void TestSignalNamedEvent() {
    CommPort port;
    const bool alone = !port.SignalNamedEvent();
    HANDLE event = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, "_CommPortEventName_00001");
    const bool stillSet = event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    bool answered = false;
    if (event != nullptr) {
        ResetEvent(event);
        std::thread listener([event] {
            if (WaitForSingleObject(event, 5000) == WAIT_OBJECT_0) {
                ResetEvent(event);
            }
        });
        answered = port.SignalNamedEvent();
        listener.join();
        CloseHandle(event);
    }
    Report("SignalNamedEvent: false alone, event left set", alone && stillSet);
    Report("SignalNamedEvent: true once another party resets the event", answered);
}

// A port Wine maps to nothing cannot be opened, and leaves nothing behind.
void TestPortWithoutDevice() {
    CommPort port;
    const bool opened = port.Open("COM2", 9600, "8N1", MODE_RECEIVER);
    Report("COM2 (no device) does not open", !opened && port.lastError != 0,
           "lastError " + std::to_string(port.lastError));
    Report("COM2: no hidden window, handle closed",
           !HiddenWindowExists("COM2") && port.fileHandle == norvane::INVALID_PORT_HANDLE);
}

// Reads the text of the first message box titled `title` that appears within 5 s, then
// closes it with OK.
std::string ReadAndCloseMessageBox(const char* title) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        HWND box = FindWindowA("#32770", title);
        if (box != nullptr) {
            char text[2048] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text control
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return text;
        }
        Sleep(10);
    }
    return "(no box)";
}

// The failure report of a port that cannot be opened: the heading, the code in three digits
// and the system's text for it, which ends its line, then the port.
void TestShowLastError() {
    CommPort port;
    port.Open("COM2", 9600, "8N1", MODE_RECEIVER);
    std::string shown;
    std::thread reader([&shown] { shown = ReadAndCloseMessageBox("Error"); });
    port.ShowLastError("Open");
    reader.join();
    char code[16];
    std::snprintf(code, sizeof code, "[%03u] ", static_cast<unsigned>(port.lastError));
    const std::string head = std::string("Open:\n\nMessaggio:\t") + code;
    const std::string tail = "Porta:\t\tCOM2";
    const bool ok = shown.size() > head.size() + tail.size() + 1 && shown.rfind(head, 0) == 0 &&
                    shown.compare(shown.size() - tail.size(), tail.size(), tail) == 0 &&
                    shown[shown.size() - tail.size() - 1] == '\n';
    Report("ShowLastError: the port failure box", ok, "shown: " + shown);
}

void TestOpenReceiveAndClose() {
    CommPort port;
    const bool opened = port.Open("COM1", 9600, "8N1", MODE_RECEIVER);
    Report("COM1 opens at 9600 8N1", opened, "lastError " + std::to_string(port.lastError));
    if (!opened) {
        return;
    }
    Report("COM1: hidden window while open", HiddenWindowExists("COM1"));

    std::vector<uint8_t> ring(1000, 0xAA);
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex{0};
    port.StartReceiver(ring.data(), static_cast<uint32_t>(ring.size()), &writeIndex, &readIndex);
    const uint64_t until = NowMs() + 3000;
    bool greeted = false;
    while (!greeted && NowMs() < until) {
        const uint32_t end = writeIndex.load(std::memory_order_acquire);
        greeted =
            std::string(reinterpret_cast<const char*>(ring.data()), end).find("READYTV1234567") !=
            std::string::npos;
        Sleep(10);
    }
    Report("receiver: the device's greeting lands in the ring", greeted,
           "write index " + std::to_string(writeIndex.load()));

    // More than the terminal's buffer takes: the write goes pending on a completion thread.
    std::vector<uint8_t> big(256 * 1024, 0x55);
    const bool started = port.Write(big.data(), static_cast<uint32_t>(big.size()), false);
    big.assign(big.size(), 0);  // the port sends its own copy
    Sleep(200);
    const bool pending = port.TransferInProgress();
    Report("non-waiting write: under way on a completion thread", started && pending);
    const uint32_t errorBefore = port.lastError;
    const uint8_t more[4] = {1, 2, 3, 4};
    const bool second = port.Write(more, sizeof more, false);
    Report("second non-waiting write while one runs: refused, lastError kept",
           !second && port.lastError == errorBefore);

    // Close cancels the pending transfer and waits for the system to let go of it.
    const uint64_t closeStart = NowMs();
    port.Close();
    const uint64_t closeMs = NowMs() - closeStart;
    Report("Close with a transfer pending: prompt, thread gone, window gone",
           closeMs < 3000 && !port.TransferInProgress() && !HiddenWindowExists("COM1"),
           std::to_string(closeMs) + " ms");
}

// A waiting write ends once no more than a UART's 16-byte FIFO is left on the line, not when
// the terminal has taken the bytes (it takes about 20 KB and reports an empty queue meanwhile):
// 256 bytes at 9600 take 267 ms on the wire, the last 16 of them 17 ms. Behind 8 KB of a
// non-waiting write the line is busy for 8.5 s, beyond the next waiting write's 800 ms limit:
// that one gives up at its limit with ERROR_IO_PENDING.
void TestWaitingWritesKeepTheWiresPace() {
    CommPort port;
    if (!port.Open("COM1", 9600, "8N1", MODE_RECEIVER)) {
        Report("waiting writes keep the wire's pace", false, "COM1 does not open");
        return;
    }
    PurgeComm(port.fileHandle, PURGE_TXCLEAR);  // what earlier checks left in the terminal
    uint8_t chunk[256];
    std::memset(chunk, 0x33, sizeof chunk);
    uint64_t start = NowMs();
    const bool written = port.Write(chunk, sizeof chunk, true);
    uint64_t took = NowMs() - start;
    Report("waiting write of 256 bytes at 9600: true after 250 of their 267 ms on the wire",
           written && took >= 248 && took < 800,
           "written " + std::to_string(written) + " after " + std::to_string(took) +
               " ms, lastError " + std::to_string(port.lastError));

    std::vector<uint8_t> stream(8192, 0x44);
    port.Write(stream.data(), static_cast<uint32_t>(stream.size()), false);
    start = NowMs();
    const bool missed = !port.Write(chunk, sizeof chunk, true);
    took = NowMs() - start;
    Report("waiting write behind 8 KB on the line: false after its 800 ms limit, lastError 997",
           missed && took >= 790 && took < 2500 && port.lastError == ERROR_IO_PENDING,
           "missed " + std::to_string(missed) + " after " + std::to_string(took) +
               " ms, lastError " + std::to_string(port.lastError));
    port.Close();
}

// A waiting write never reuses the record of a non-waiting write that is still pending: it
// waits for that one to end, by its own time limit, or gives up without sending anything.
void TestWaitingWriteBehindAPendingOne() {
    CommPort port;
    if (!port.Open("COM1", 9600, "8N1", MODE_RECEIVER) || !port.SetLineSpeed(115200)) {
        Report("waiting write behind a pending one", false, "COM1 does not open");
        return;
    }
    PurgeComm(port.fileHandle, PURGE_TXCLEAR);
    // 40 KB: more than the terminal takes at once, 3.5 s on the wire at 115200.
    std::vector<uint8_t> stream(40000, 0x55);
    const uint64_t start = NowMs();
    const bool started = port.Write(stream.data(), static_cast<uint32_t>(stream.size()), false);
    Sleep(100);
    const bool pending = port.TransferInProgress();
    // 4000 bytes may take 12.5 s: time for the stream to end and for both to leave the line
    // but for the last 16 bytes (1.4 ms), 3.82 s after the stream began.
    std::vector<uint8_t> tail(4000, 0x66);
    const bool written = port.Write(tail.data(), static_cast<uint32_t>(tail.size()), true);
    const uint64_t took = NowMs() - start;
    Report(
        "waiting write behind a pending one: waits for it, true once both have left the line "
        "but a FIFO",
        started && pending && written && took >= 3800 && took < 12500,
        "started " + std::to_string(started) + ", pending " + std::to_string(pending) +
            ", written " + std::to_string(written) + " " + std::to_string(took) +
            " ms after the stream began, lastError " + std::to_string(port.lastError));

    // Behind 256 KB (22 s on the wire) a 5-byte waiting write gives up at its 500 ms limit; the
    // stream goes on.
    std::vector<uint8_t> big(256 * 1024, 0x77);
    port.Write(big.data(), static_cast<uint32_t>(big.size()), false);
    const uint8_t five[5] = {1, 2, 3, 4, 5};
    const uint64_t refusedAt = NowMs();
    const bool refused = !port.Write(five, sizeof five, true);
    const uint64_t waited = NowMs() - refusedAt;
    Report("waiting write behind a long pending one: false after 500 ms, lastError 997",
           refused && waited >= 490 && waited < 2000 && port.lastError == ERROR_IO_PENDING &&
               port.TransferInProgress(),
           "refused " + std::to_string(refused) + " after " + std::to_string(waited) +
               " ms, lastError " + std::to_string(port.lastError));
    port.Close();
}

// The system clock's sleeps, which the engine's ticks and the port's waits for its line take,
// last what they are asked for: 50 sleeps of 2 ms, 100 ms, not 50 timer ticks of 15.6 ms.
void TestSystemClockSleepsAreExact() {
    const uint64_t start = NowMs();
    for (int i = 0; i < 50; ++i) {
        norvane::SystemClock().Sleep(2);
    }
    const uint64_t took = NowMs() - start;
    Report("system clock: 50 sleeps of 2 ms take 100 ms, not 50 timer ticks",
           took >= 99 && took < 400, std::to_string(took) + " ms");
}

}  // namespace

// The ports the system lists, read from the registry, in the order of their numbers.
void TestSystemPortList() {
    const norvane::PortList ports = norvane::StandardPorts();
    std::string listed;
    for (const norvane::PortEntry& port : ports) {
        listed += std::to_string(port.number) + ":" + port.name + " ";
    }
    Report("the system's ports: COM1 and COM12", listed == "1:COM1 12:COM12 ", listed);
}

int main() {
    TestSystemPortList();
    TestSystemClockSleepsAreExact();
    TestEventNames();
    TestSignalNamedEvent();
    TestPortWithoutDevice();
    TestShowLastError();
    TestOpenReceiveAndClose();
    TestWaitingWritesKeepTheWiresPace();
    TestWaitingWriteBehindAPendingOne();
    return failures;
}
