#include "engine/PortBank.h"

#include <string>

namespace norvane {
namespace {

constexpr uint32_t kSearchBaud = 9600;

}  // namespace

PortBank::~PortBank() {
    for (int n = 1; n <= kPortCount; ++n) {
        CloseSlot(n);
    }
}

void PortBank::OpenSlot(int n) {
    PortSlot& slot = slots_[n];
    slot.port.reset();
    slot.port = createPort_ ? createPort_() : nullptr;
    if (!slot.port) {
        return;
    }
    const std::string name = "COM" + std::to_string(n);
    const bool opened = slot.port->Open(name.c_str(), kSearchBaud, "8N1", MODE_RECEIVER);
    PortStory& story = stories_[n];
    story.label = PortLabel(n, slot.port->DevicePath());
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
    }
    return kind;
}

StepEnd PortBank::ActiveStepEnd(FlashResult result) const {
    StepEnd end;
    end.result = result;
    end.lineGone = LineGone(activeSlot_);
    end.portLabel = ActiveLabel();
    end.reply = lastReply_;
    end.replyPort = LastReplyPort();
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

std::optional<PortHolder> PortBank::OtherHolder(int n) const {
    return slots_[n].port ? slots_[n].port->OtherHolder() : std::nullopt;
}

void PortBank::KeepOnly(int n) {
    for (int i = 1; i <= kPortCount; ++i) {
        if (i == n) {
            activeSlot_ = n;
        } else {
            CloseSlot(i);
        }
    }
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
