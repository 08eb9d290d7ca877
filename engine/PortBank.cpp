#include "engine/PortBank.h"

#include <string>

namespace norvane {
namespace {

constexpr uint32_t kSearchBaud = 9600;

}  // namespace

PortBank::PortBank(PortFactory createPort, PortList ports)
    : createPort_(std::move(createPort)),
      ports_(std::move(ports)),
      slots_(ports_.size() + 1),
      stories_(ports_.size() + 1) {}

PortBank::~PortBank() {
    for (int n = 1; n <= Count(); ++n) {
        CloseSlot(n);
    }
}

void PortBank::OpenSlot(int n) {
    PortSlot& slot = slots_[n];
    const PortEntry& entry = Entry(n);
    PortStory& story = stories_[n];
    story = PortStory{};
    story.label = PortLabel(entry.number, {});
    slot.port.reset();
    slot.port = createPort_ ? createPort_() : nullptr;
    if (!slot.port) {
        return;
    }
    const bool opened = slot.port->Open(entry.name.c_str(), kSearchBaud, "8N1", MODE_RECEIVER);
    story.label = PortLabel(entry.number, slot.port->DevicePath(), slot.port->PortDescription());
    story.failure = slot.port->LastOpenFailure();
    story.fate = opened ? PortFate::Silent : FateOfFailedOpen(story.failure);
    if (!opened) {
        slot.port.reset();
        return;
    }
    slot.ring.reset(new uint8_t[kRingSize]);
    slot.scanner = ReplyScanner{};  // a fresh ring, a fresh record
    slot.readIndex.store(0, std::memory_order_relaxed);
    slot.writeIndex.store(0, std::memory_order_relaxed);
    if (!slot.port->StartReceiver(slot.ring.get(), kRingSize, &slot.writeIndex, &slot.readIndex)) {
        CloseSlot(n);
    }
}

void PortBank::CloseSlot(int n) {
    if (n == 0) {
        const int active = activeSlot_;
        activeSlot_ = 0;
        if (active != 0) {
            CloseSlot(active);
        }
        return;
    }
    PortSlot& slot = slots_[n];
    if (slot.port) {
        slot.port->Close();  // stops the receiver before the ring goes
        slot.droppedBefore += slot.port->DroppedBytes();
        slot.port.reset();
    }
    slot.ring.reset();
}

ReplyKind PortBank::ScanReply(int n, const char** record) {
    PortSlot& slot = slots_[n];
    if (n == 0 || !slot.port) {
        *record = nullptr;
        return REPLY_NONE;
    }
    const ReplyKind kind =
        slot.scanner.Scan(&slot.readIndex, &slot.writeIndex, slot.ring.get(), kRingSize, record);
    if (kind != REPLY_NONE) {
        lastReply_ = ReplyText(*record);
        lastReplySlot_ = n;
        lastReplyKind_ = kind;
        lastErrorCode_ = kind == REPLY_ERROR ? ErrorCodeOf(*record) : 0;
    }
    return kind;
}

bool PortBank::HasUnread(int n) const {
    const PortSlot& slot = slots_[n];
    return slot.port && slot.readIndex.load(std::memory_order_relaxed) !=
                            slot.writeIndex.load(std::memory_order_acquire);
}

bool PortBank::WriteActive(const void* data, uint32_t length, bool wait) {
    SerialPort* const port = ActivePort();
    const bool written = port != nullptr && port->Write(data, length, wait);
    if (!written && wait) {
        writeStalled_ = true;
    }
    return written;
}

StepEnd PortBank::ActiveStepEnd(FlashResult result) const {
    StepEnd end;
    end.result = result;
    end.lineGone = LineGone(activeSlot_);
    end.portLabel = ActiveLabel();
    end.reply = lastReply_;
    end.replyPort = LastReplyPort();
    end.deviceReported = lastReplyKind_ == REPLY_ERROR && lastReplySlot_ == activeSlot_ &&
                         CodeOf(result) == RC_DEVICE_ERROR && DetailOf(result) == lastErrorCode_;
    end.lineStalled = writeStalled_;
    end.droppedBytes = DroppedBytes(activeSlot_) - droppedAtRunStart_;
    return end;
}

bool PortBank::DataArrived(int n) const {
    const PortSlot& slot = slots_[n];
    return slot.port && (slot.readIndex.load(std::memory_order_relaxed) != 0 ||
                         slot.writeIndex.load(std::memory_order_relaxed) != 0);
}

bool PortBank::LineGone(int n) const {
    return slots_[n].port && slots_[n].port->LineGone();
}

std::string PortBank::DevicePath(int n) const {
    return slots_[n].port ? slots_[n].port->DevicePath() : std::string();
}

std::optional<PortHolder> PortBank::OtherHolder(int n) const {
    return slots_[n].port ? slots_[n].port->OtherHolder() : std::nullopt;
}

void PortBank::KeepOnly(int n) {
    for (int i = 1; i <= Count(); ++i) {
        if (i == n) {
            activeSlot_ = n;
        } else {
            CloseSlot(i);
        }
    }
    droppedAtRunStart_ = DroppedBytes(n);
    writeStalled_ = false;
}

SerialPort* PortBank::ActivePort() const {
    return slots_[activeSlot_].port.get();
}

void PortBank::DropPendingInput() {
    PortSlot& slot = slots_[activeSlot_];
    slot.readIndex.store(slot.writeIndex.load(std::memory_order_acquire),
                         std::memory_order_release);
}

uint64_t PortBank::DroppedBytes(int n) const {
    const PortSlot& slot = slots_[n];
    return slot.droppedBefore + (slot.port ? slot.port->DroppedBytes() : 0);
}

}  // namespace norvane
