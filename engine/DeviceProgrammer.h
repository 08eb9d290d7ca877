// The port bank, the device search and the two programming protocols. One object per job,
// used on the job's worker thread only; each open port has its own receiver thread filling
// its slot's ring.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/EngineContract.h"
#include "engine/ReplyScanner.h"
#include "platform/Clock.h"
#include "serial/SerialPort.h"

namespace norvane {

class CMultiStrings;
class NotifyWindow;

// One port of the bank with its receive ring. Open exactly when `port` is set.
struct PortSlot {
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<uint8_t[]> ring;
    uint32_t readIndex = 0;                // advanced by the scanner
    std::atomic<uint32_t> writeIndex = 0;  // advanced by the port's receiver thread
};

// Where the device was found; owns nothing.
struct ActiveSlot {
    SerialPort* port = nullptr;
    uint8_t* ring = nullptr;
    uint32_t* readIndex = nullptr;
    std::atomic<uint32_t>* writeIndex = nullptr;
};

constexpr int kPortCount = 8;

class DeviceProgrammer : public EngineContract {
public:
    // `createPort` makes the port objects, `clock` times every wait, `strings` gives the texts.
    DeviceProgrammer(PortFactory createPort, Clock& clock, const CMultiStrings& strings);
    ~DeviceProgrammer() override;  // closes slots 1 to 8 in order, without pauses

    DeviceProgrammer(const DeviceProgrammer&) = delete;
    DeviceProgrammer& operator=(const DeviceProgrammer&) = delete;

    void SetNotifyWindow(NotifyWindow* window) override { notifyWindow = window; }
    FlashResult SearchDevice(const std::atomic<int>* abortFlag) override;
    FlashResult RunBlockCrcProtocol(const uint8_t* image, uint32_t length,
                                    const std::atomic<int>* abortFlag) override;
    FlashResult RunChecksumProtocol(const uint8_t* image,
                                    const std::atomic<int>* abortFlag) override;

    // Opens COMn (n = 1..8) at 9600 8N1 with a fresh ring and its receiver; a port that
    // cannot be opened leaves the slot closed.
    void OpenSlot(int n);
    // Closes slot n (1..8); 0 releases the active slot.
    void CloseSlot(int n);

    int starFlag = 0;  // an OS device greeted with '*' at record position 7
    NotifyWindow* notifyWindow = nullptr;
    ActiveSlot activeSlot;
    std::array<PortSlot, kPortCount + 1> slots;  // slot n serves COMn; index 0 unused

private:
    PortFactory createPort_;
    Clock& clock_;
    const CMultiStrings& strings_;
};

}  // namespace norvane
