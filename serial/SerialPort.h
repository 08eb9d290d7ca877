// What the engine needs of a serial port. CommPort implements it on the real device;
// tests and the in-process device simulator provide their own ports.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "serial/OpenFailure.h"

namespace norvane {

// Modes of Open: how reads behave and whether a receiver thread can be started.
constexpr int MODE_DIRECT = 0;    // reads complete when their whole count has arrived
constexpr int MODE_RECEIVER = 1;  // a receiver thread fills a ring; reads return at once

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens `portName` ("COM1".."COM8") at `baudRate` with `frame` such as "8N1".
    virtual bool Open(const char* portName, uint32_t baudRate, const char* frame, int mode) = 0;
    // Stops the receiver and any transfer thread, then releases the device.
    virtual bool Close() = 0;
    // Writes `length` bytes. With `wait` the call returns as a UART driver's does, once the
    // driver's queue is empty and no more than a 16-byte transmit FIFO's worth of wire time is
    // left on the line (so the next write reaches the line before it falls idle), or when the
    // time limit for `length` bytes at the opening speed has passed; without, the bytes are
    // copied and written out in the background (refused while an earlier such write still
    // runs).
    virtual bool Write(const void* data, uint32_t length, bool wait) = 0;
    // Starts the receiver: zero-fills `ring`, then stores every received byte into it, wrapping
    // at `ringSize`, publishing `writeIndex` (release) after the bytes are in place. The reader
    // publishes `readIndex` after it has taken a byte; bytes that find the ring full (one place
    // short of the reader) are dropped and counted, never written over unread ones.
    virtual bool StartReceiver(uint8_t* ring, uint32_t ringSize, std::atomic<uint32_t>* writeIndex,
                               const std::atomic<uint32_t>* readIndex) = 0;
    virtual bool StopReceiver() = 0;
    // Bytes the receiver dropped on a full ring since it was last started.
    virtual uint64_t DroppedBytes() const = 0;
    // Changes the speed of the open line once the bytes handed over have left it at the old
    // one (within half a second beyond their wire time); later writes go out at the new speed.
    // The speed given to Open, from which the time limits of waiting writes follow, stays as
    // it was.
    virtual bool SetLineSpeed(uint32_t baudRate) = 0;
    // True while a write made without waiting is still being written out, or the line has not
    // yet had the time to send what it was given.
    virtual bool TransferInProgress() = 0;

    // Why the last Open failed; kind None after a successful one or where the port cannot tell.
    virtual OpenFailure LastOpenFailure() const { return {}; }
    // The device the port name led to, e.g. "/dev/ttyUSB0"; empty where there is no such path.
    virtual std::string DevicePath() const { return {}; }
    // What the port is, as the system describes it: "16550A", "FTDI FT232R USB UART, serial
    // A12345" (an adapter's own texts, made visible); empty where it cannot tell.
    virtual std::string PortDescription() const { return {}; }
    // True once the receiver has seen the line hang up (adapter unplugged, device gone), until
    // the port is closed. Nothing more will arrive: a wait for the device can end now.
    virtual bool LineGone() const { return false; }
    // Another program that has this open port's device open as well: one that takes no lock
    // (a stray `cat`, a terminal program, ModemManager) and splits the device's bytes with us.
    // None when there is none or the port cannot tell.
    virtual std::optional<PortHolder> OtherHolder() const { return std::nullopt; }
};

using PortFactory = std::function<std::unique_ptr<SerialPort>()>;

}  // namespace norvane
