// CommPort: one serial port of the machine, opened exclusively, with waiting and
// non-waiting writes and a receiver thread that fills a caller-owned ring.
//
// The class is shared by the back ends; each back end (the *_posix.cpp and the *_win32.cpp
// files) defines the operations and its own private state (Impl).
//
// Behaviour on POSIX, where it differs from the Windows back end:
// - `lastError` holds an errno value. A missing device (or a COMn whose NORVANE_COMn is set
//   to the empty string) gives ENOENT; a device another program holds gives EBUSY; a path that
//   is not a terminal gives ENOTTY; a frame or speed the line cannot take (1.5 stop bits
//   included) gives EINVAL; any operation on a closed port gives EBADF; a waiting transfer
//   that passes its time limit gives ETIMEDOUT. Successful operations leave `lastError` as
//   it was.
// - `SignalNamedEvent`: a named system event has no POSIX counterpart and nobody could reset
//   one, so it returns false at once: the answer a Windows port gives when nobody resets its
//   event.
// - `SetTimeouts(multiplier, constant)`: sets the total time limit of waiting reads to
//   multiplier * length + constant ms (0, 0 returns to the speed-derived limit). Writes keep
//   the speed-derived limit. Opening again resets it.
// - `ShowLastError` writes the report to stderr; there is no message box.
// - `LastOpenFailure`: a path that exists but is no character device is refused without being
//   opened (not a serial port), and so are /dev/tty and the program's own controlling
//   terminal; EBUSY names the holder when /proc lets us see it; EIO on open (a port's node
//   without its hardware) counts as not present. Every open port registers its line settings
//   as found, its device and its name (PortLineRegistry.h) until Close puts them back; a
//   second name for a registered device fails with EBUSY as OpenedTwice, without opening it.
//   An exclusive flag that a killed program left behind (the lock free, no other process
//   holding the device) is taken over, not taken for a holder.
// - `OtherHolder`: another process that has the device open, from /proc.
// - Modes: MODE_RECEIVER reads return at once with what is there; MODE_DIRECT reads wait for
//   their whole count (within the time limit). The receiver thread works in either mode, and
//   a stopped receiver can be started again on the same opening.
// - Transfers report their end through TransferInProgress() only; there are no completion
//   messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/LineFrame.h"
#include "serial/SerialPort.h"

namespace norvane {

#ifdef _WIN32
using NativePortHandle = void*;
#else
using NativePortHandle = int;  // a file descriptor
#endif
extern const NativePortHandle INVALID_PORT_HANDLE;

class CommPort : public SerialPort {
public:
    CommPort();
    ~CommPort() override;  // closes an open port
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    // Numeric form: `byteSize` 5..8, `parity` PARITY_*, `stopBits` STOP_BITS_*.
    bool Open(const char* portName, uint32_t baudRate, uint8_t byteSize, uint8_t parity,
              uint8_t stopBits, int mode);
    // Text form: `frame` such as "8N1" (see ParseFrameText).
    bool Open(const char* portName, uint32_t baudRate, const char* frame, int mode) override;
    // Stops the transfer thread, then the receiver; restores the line's original settings and
    // releases the device. True when there was nothing to release or it was released cleanly.
    bool Close() override;
    bool SetTimeouts(uint32_t multiplier, uint32_t constant);

    // Every write moves the moment the line is free on by its wire time (WireTime.h).
    // Waiting: true once all bytes are written, the output queue has drained and no more than a
    // UART's transmit FIFO is left on the line, false when the time limit (TransferTimeLimitMs
    // at `baudRate`) passes first; unsent bytes are dropped. A non-waiting write still under way is
    // waited for first, within the same limit; when it does not end in time, nothing is sent. Not
    // waiting: bytes the line takes at once are written, the rest are copied and written by a
    // transfer thread; refused (false, `lastError` unchanged) while one still runs.
    bool Write(const void* data, uint32_t length, bool wait) override;
    // Zero-fills `buffer`, then reads into it (see the modes above). A non-waiting read that
    // is not complete at once goes on in the transfer thread; `buffer` must outlive it.
    bool Read(void* buffer, uint32_t length, bool wait);

    // Zero-fills the ring and starts the receiver thread, which stores from *writeIndex on and
    // drops (and counts) what finds the ring full. True and nothing changed when a receiver
    // runs already.
    bool StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                       const std::atomic<uint32_t>* readIndex) override;
    uint64_t DroppedBytes() const override;
    // Asks the receiver to stop and waits until it has. Always true.
    bool StopReceiver() override;
    // Cancels a running transfer (unsent output is dropped) and waits for its thread. Always
    // true.
    bool StopTransferThread();
    // True until a non-waiting transfer has ended and the line has had the time to send every
    // byte written to it.
    bool TransferInProgress() override;
    // Changes the speed of the open line, once what was handed over has left it, and of the
    // wire time of later writes; `baudRate`, from which the time limits follow, stays as Open
    // set it.
    bool SetLineSpeed(uint32_t baudRate) override;
    OpenFailure LastOpenFailure() const override { return openFailure; }
    std::string DevicePath() const override { return devicePath; }
    // POSIX: from sysfs for `devicePath` (SysfsPorts_linux.h). Windows: empty, the port is
    // known by its COM number alone.
    std::string PortDescription() const override;
    bool LineGone() const override;
#ifndef _WIN32
    std::optional<PortHolder> OtherHolder() const override;  // from /proc
#endif

    void ShowLastError(const char* text);
    bool SignalNamedEvent();

    NativePortHandle fileHandle;
    std::string portName;    // as given to the last Open, e.g. "COM3"
    std::string devicePath;  // what it resolved to, e.g. "/dev/ttyUSB0"
    uint32_t lastError = 0;
    uint32_t baudRate = 0;    // speed given to Open; time limits follow it
    int mode = -1;            // mode given to the last successful Open
    OpenFailure openFailure;  // what the last failed Open means to the user

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

std::unique_ptr<SerialPort> CreateCommPort();

}  // namespace norvane
