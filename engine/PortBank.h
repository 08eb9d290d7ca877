// The bank of the ports a job listens on (COM1..COM8 for the window), each with its receive
// ring and its receiver thread, and the active slot: the port where the device was found.
// Used on the job's thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Diagnosis.h"
#include "engine/ReplyScanner.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"

namespace norvane {

// One port of the bank with its receive ring and the ring's scanner (a record is made of one
// port's bytes). Open exactly when `port` is set.
struct PortSlot {
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<uint8_t[]> ring;
    std::atomic<uint32_t> readIndex = 0;   // advanced by the scanner, watched by the receiver
    std::atomic<uint32_t> writeIndex = 0;  // advanced by the port's receiver thread
    ReplyScanner scanner;
    uint64_t droppedBefore = 0;  // bytes dropped on the slot's earlier, closed ports
};

class PortBank {
public:
    // Slot n (1..ports.size()) serves the n-th port of `ports`.
    PortBank(PortFactory createPort, PortList ports);
    ~PortBank();  // closes every slot in order, without pauses

    PortBank(const PortBank&) = delete;
    PortBank& operator=(const PortBank&) = delete;

    // How many slots there are: slot numbers run from 1 to Count().
    int Count() const { return static_cast<int>(ports_.size()); }
    // The port slot n serves: its COM number and the name it opens.
    const PortEntry& Entry(int n) const { return ports_[n - 1]; }

    // Opens slot n's port at 9600 8N1 with a fresh ring and its receiver; a port that cannot
    // be opened leaves the slot closed.
    void OpenSlot(int n);
    // Closes slot n; 0 releases the active slot.
    void CloseSlot(int n);
    bool IsOpen(int n) const { return slots_[n].port != nullptr; }

    // What became of port n in the search so far: OpenSlot starts the story.
    PortStory& Story(int n) { return stories_[n]; }
    // True once bytes have arrived on open slot n.
    bool DataArrived(int n) const;
    // True once open slot n's line has hung up.
    bool LineGone(int n) const;
    // The device path slot n's port opened; empty where it has none or is closed.
    std::string DevicePath(int n) const;
    // Another program that has open slot n's device open too.
    std::optional<PortHolder> OtherHolder(int n) const;
    // "COMn (<its device>)" for the active slot.
    const std::string& ActiveLabel() const { return stories_[activeSlot_].label; }
    // True while bytes have arrived on open slot n that no scan has taken yet.
    bool HasUnread(int n) const;
    // The last record any ScanReply completed (ReplyText), and the port it came from.
    const std::string& LastReply() const { return lastReply_; }
    const std::string& LastReplyPort() const { return stories_[lastReplySlot_].label; }
    // How a run on the active slot ended with `result`, as far as the ports can tell: whether
    // its line hung up, and the last record read.
    StepEnd ActiveStepEnd(FlashResult result) const;

    // One completed record from slot n's ring, if any (REPLY_NONE also for a closed slot).
    ReplyKind ScanReply(int n, const char** record);

    // Writes to the active port (false without one). A waiting write that the line did not
    // take within its limit is remembered for the run's second text.
    bool WriteActive(const void* data, uint32_t length, bool wait);

    // Makes slot n the active slot and closes every other slot, in order. Bytes the active
    // port drops from now on count against the run (ActiveStepEnd).
    void KeepOnly(int n);
    // Forgets the active slot without closing it (its slot is about to be closed).
    void ForgetActive() { activeSlot_ = 0; }
    // The active slot's number, 0 when there is none.
    int ActiveSlot() const { return activeSlot_; }
    // The active slot's port, nullptr when there is none.
    SerialPort* ActivePort() const;
    ReplyKind ScanActive(const char** record) { return ScanReply(activeSlot_, record); }
    // Discards every byte received and not yet read on the active slot. The partial record
    // stays: the next bytes continue it.
    void DropPendingInput();
    // Bytes slot n's ports have dropped on a full ring, since the bank was made.
    uint64_t DroppedBytes(int n) const;

private:
    PortFactory createPort_;
    PortList ports_;
    std::vector<PortSlot> slots_;  // slot n at index n; index 0 unused
    int activeSlot_ = 0;           // where the device was found; owns nothing
    std::vector<PortStory> stories_;
    std::string lastReply_;
    int lastReplySlot_ = 0;
    ReplyKind lastReplyKind_ = REPLY_NONE;
    uint16_t lastErrorCode_ = 0;  // of the last record, when it was an "ERROR"
    uint64_t droppedAtRunStart_ = 0;
    bool writeStalled_ = false;
};

}  // namespace norvane
