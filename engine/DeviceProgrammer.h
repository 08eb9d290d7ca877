// The port bank, the device search and the two programming protocols. One object per job,
// used on the job's worker thread only; each open port has its own receiver thread filling
// its slot's ring.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

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

// The outcome of a record that a wait does not wait for: the device's code for "ERROR",
// RC_INVALID_REPLY with the record's kind for anything else.
FlashResult OtherRecordOutcome(ReplyKind kind, const char* record);

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
    // A record handed to a wait: its kind (REPLY_NONE when none completed) and its text.
    using RecordHandler = std::function<void(ReplyKind, const char*)>;
    using TickHandler = std::function<void()>;

    void PostText(uint32_t target, std::string_view text);
    void PostProgress(uint32_t kind, int32_t value);
    // Sleeps at least once (1 ms when the deadline has passed), until the tick count reaches
    // `deadline`.
    void WaitForDeadline(uint32_t deadline);
    // One completed record from the active slot's ring, if any.
    ReplyKind ScanActive(const char** record);
    // Discards every byte received and not yet read on the active slot.
    void DropPendingInput();
    // Ticks of a wait on the active slot, on a fixed grid of deadlines from `firstDeadline`: scan,
    // act on the record, wait for the tick's deadline, then the phase's counter, end and limit
    // steps, then the abort flag; while `state` still holds `phase`.
    void RunWait(FlashResult& state, ResultCode phase, uint32_t firstDeadline, uint32_t period,
                 const std::atomic<int>* abortFlag, const RecordHandler& onRecord,
                 const TickHandler& afterWait);
    // A wait for one record: `expected` stores `next`, any other record ends the run. After
    // each tick `counter` goes up by one and is posted as the position; when it reaches
    // `limit`, `limitResult` is stored.
    void WaitForRecord(FlashResult& state, ResultCode phase, ReplyKind expected, FlashResult next,
                       uint32_t firstDeadline, uint32_t period, int32_t& counter, int32_t limit,
                       FlashResult limitResult, const std::atomic<int>* abortFlag);
    // Waits until the stream written without waiting has left the port; false when it is
    // still in transit after a generous limit (the link is then stalled).
    bool AwaitStreamWrittenOut();
    void Detect(int n, const char* record, FlashResult& result);

    PortFactory createPort_;
    Clock& clock_;
    const CMultiStrings& strings_;
};

}  // namespace norvane
