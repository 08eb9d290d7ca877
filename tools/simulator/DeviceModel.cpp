#include "tools/simulator/DeviceModel.h"

#include <algorithm>
#include <array>

namespace norvane::sim {

namespace {

constexpr uint32_t kBlockSize = 256;

struct PhaseNameEntry {
    Phase phase;
    const char* name;
};

constexpr std::array<PhaseNameEntry, 15> kPhaseNames = {{
    {Phase::Greeting, "greeting"},
    {Phase::Erasing, "erasing"},
    {Phase::Header, "header"},
    {Phase::Lower, "lower"},
    {Phase::UpperErasing, "upper-erasing"},
    {Phase::Upper, "upper"},
    {Phase::EndMarker, "end-marker"},
    {Phase::Lengths, "lengths"},
    {Phase::Region0, "region0"},
    {Phase::Region1, "region1"},
    {Phase::Totals, "totals"},
    {Phase::Verifying, "verifying"},
    {Phase::Programmed, "programmed"},
    {Phase::Failed, "failed"},
    {Phase::Disconnected, "disconnected"},
}};

bool IsBytePhase(Phase phase) {
    switch (phase) {
        case Phase::Header:
        case Phase::Lengths:
        case Phase::Region0:
        case Phase::Region1:
        case Phase::Totals:
        case Phase::EndMarker:
            return true;
        default:
            return false;
    }
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

}  // namespace

const char* PhaseName(Phase phase) {
    for (const auto& entry : kPhaseNames) {
        if (entry.phase == phase) {
            return entry.name;
        }
    }
    return "?";
}

std::optional<Phase> PhaseFromName(std::string_view name) {
    for (const auto& entry : kPhaseNames) {
        if (name == entry.name) {
            return entry.phase;
        }
    }
    return std::nullopt;
}

const PhaseLog* DeviceReport::Find(Phase phase) const {
    for (const auto& log : phases) {
        if (log.phase == phase) {
            return &log;
        }
    }
    return nullptr;
}

std::vector<uint8_t> DeviceReport::BytesOf(Phase phase) const {
    const PhaseLog* log = Find(phase);
    return log ? log->bytes : std::vector<uint8_t>{};
}

size_t DeviceReport::CountSent(std::string_view prefix) const {
    return static_cast<size_t>(std::count_if(sent.begin(), sent.end(), [&](const SentRecord& r) {
        return std::string_view(r.bytes).substr(0, prefix.size()) == prefix;
    }));
}

uint16_t DeviceCrc16(const uint8_t* data, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ (uint16_t{data[i]} << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

DeviceModel::DeviceModel(DeviceConfig config, FaultPlan faults)
    : config_(std::move(config)), faults_(std::move(faults)), protocol_(config_.protocol) {
    if (protocol_ == Protocol::Auto) {
        if (config_.kind == "OS") {
            protocol_ = Protocol::BlockCrc;
        } else if (config_.kind == "GM" || config_.kind == "TV") {
            protocol_ = Protocol::Checksum;
        } else {
            protocol_ = Protocol::None;
        }
    }
}

uint32_t DeviceModel::DeviceLineSpeed() const {
    if (protocol_ == Protocol::BlockCrc && phase_ != Phase::Greeting) {
        return kBaudFast;
    }
    return kBaudGreeting;
}

bool DeviceModel::Finished() const {
    return phase_ == Phase::Programmed || phase_ == Phase::Failed || phase_ == Phase::Disconnected;
}

std::string DeviceModel::MakeRecord(std::string_view text) const {
    const size_t width = config_.lineFeeds ? 15 : 16;
    std::string record(text.substr(0, width));
    record.resize(width, ' ');
    if (config_.lineFeeds) {
        record.push_back('\n');
    }
    return record;
}

std::string DeviceModel::GreetingRecord() const {
    std::string kind = config_.kind.substr(0, 2);
    kind.resize(2, ' ');
    std::string text = "READY" + kind;
    if (protocol_ == Protocol::BlockCrc) {
        text += config_.star ? '*' : '-';
        text += ' ';
    }
    text += config_.serial;
    return MakeRecord(text);
}

std::string DeviceModel::ErrorRecord(uint16_t code) const {
    std::string text = "ERROR";
    text += static_cast<char>(code & 0xFF);
    text += static_cast<char>(code >> 8);
    return MakeRecord(text);
}

void DeviceModel::Later(uint64_t delay, std::function<void()> action) {
    if (host_ == nullptr) {
        return;
    }
    std::weak_ptr<int> alive = alive_;
    const uint64_t epoch = epoch_;
    host_->After(delay, [this, alive, epoch, action = std::move(action)] {
        if (alive.expired() || epoch != epoch_) {
            return;
        }
        action();
    });
}

uint64_t DeviceModel::EraseMicros(Phase phase) const {
    uint64_t micros = config_.eraseMicros;
    if (!faults_.slowErasePhase || *faults_.slowErasePhase == phase) {
        micros += faults_.slowEraseExtraMicros;
    }
    return micros;
}

uint64_t DeviceModel::BlockMicros(uint32_t block) const {
    uint64_t micros = config_.blockMicros;
    if (!faults_.slowBlock || *faults_.slowBlock == block) {
        micros += faults_.slowBlockExtraMicros;
    }
    return micros;
}

void DeviceModel::PowerOn() {
    EnterPhase(Phase::Greeting);
    if (!config_.greetOnHostArrival) {
        Later(config_.firstGreetingMicros, [this] { Greet(true); });
    }
}

void DeviceModel::HostArrived() {
    if (config_.greetOnHostArrival && !greetedArrivedHost_) {
        Later(config_.firstGreetingMicros, [this] { GreetArrivedHost(); });
    }
}

void DeviceModel::GreetArrivedHost() {
    // A host that has gone again (a line's settings looked at) gets nothing; the next does.
    if (greetedArrivedHost_ || host_ == nullptr || host_->HostLineSpeed() == 0) {
        return;
    }
    greetedArrivedHost_ = true;
    Greet(false);
}

void DeviceModel::Greet(bool again) {
    if (phase_ != Phase::Greeting) {
        return;
    }
    const uint32_t index = report_.greetings++;
    if (!SendReply(Phase::Greeting, index, GreetingRecord()) || !again) {
        return;
    }
    Later(config_.greetingPeriodMicros, [this] { Greet(true); });
}

void DeviceModel::EnterPhase(Phase phase) {
    phase_ = phase;
    PhaseLog log;
    log.phase = phase;
    log.enteredAtMicros = host_ ? host_->NowMicros() : 0;
    log.hostSpeedAtEntry = host_ ? host_->HostLineSpeed() : 0;
    report_.phases.push_back(std::move(log));
    collect_.clear();
    if (faults_.silentFrom && *faults_.silentFrom == phase) {
        silent_ = true;
    }
    if (IsBytePhase(phase)) {
        CheckByteFault();
    }
}

void DeviceModel::SendRecord(const std::string& record) {
    if (silent_ || host_ == nullptr) {
        return;
    }
    std::string wire = faults_.noise;
    wire.append(faults_.strayLineFeeds, '\n');
    wire += record;
    const uint32_t hostSpeed = host_->HostLineSpeed();
    const bool garbled = hostSpeed != 0 && hostSpeed != DeviceLineSpeed();
    if (garbled) {
        // A receiver at the wrong speed samples noise: never a line feed, never a keyword.
        for (char& c : wire) {
            c = static_cast<char>(0xE0 | (static_cast<uint8_t>(c) & 0x0F));
        }
    }
    report_.sent.push_back({host_->NowMicros(), phase_, record, garbled});
    host_->Send(reinterpret_cast<const uint8_t*>(wire.data()), wire.size());
}

bool DeviceModel::SendReply(Phase phase, uint32_t index, const std::string& record) {
    if (!errorFired_ && faults_.errorAt && faults_.errorAt->phase == phase &&
        faults_.errorAt->index == index) {
        errorFired_ = true;
        Fail(faults_.errorCode);
        return false;
    }
    if (!unexpectedFired_ && faults_.unexpectedAt && faults_.unexpectedAt->phase == phase &&
        faults_.unexpectedAt->index == index) {
        unexpectedFired_ = true;
        SendRecord(MakeRecord(faults_.unexpectedText));
        return true;
    }
    SendRecord(record);
    return true;
}

bool DeviceModel::CheckByteFault() {
    const uint32_t count = static_cast<uint32_t>(report_.phases.back().bytes.size());
    if (!errorFired_ && faults_.errorAt && faults_.errorAt->phase == phase_ &&
        faults_.errorAt->index == count) {
        errorFired_ = true;
        Fail(faults_.errorCode);
        return true;
    }
    if (!unexpectedFired_ && faults_.unexpectedAt && faults_.unexpectedAt->phase == phase_ &&
        faults_.unexpectedAt->index == count) {
        unexpectedFired_ = true;
        SendRecord(MakeRecord(faults_.unexpectedText));
    }
    return false;
}

void DeviceModel::Fail(uint16_t code) {
    SendRecord(ErrorRecord(code));
    report_.errorSent = code;
    ++epoch_;  // pending replies and erases are dropped
    EnterPhase(Phase::Failed);
    silent_ = true;
}

void DeviceModel::Receive(const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (phase_ == Phase::Disconnected) {
            return;
        }
        const uint8_t byte = data[i];
        const uint32_t speed = host_ ? host_->SpeedOfArrivingBytes() : 0;
        ++received_;
        report_.received.push_back(byte);
        PhaseLog& log = report_.phases.back();
        const uint64_t now = host_ ? host_->NowMicros() : 0;
        if (log.bytes.empty()) {
            log.firstByteAtMicros = now;
        }
        log.lastByteAtMicros = now;
        log.bytes.push_back(byte);
        if (std::find(log.byteSpeeds.begin(), log.byteSpeeds.end(), speed) ==
            log.byteSpeeds.end()) {
            log.byteSpeeds.push_back(speed);
        }
        if (faults_.disconnectAfterBytes && received_ >= *faults_.disconnectAfterBytes) {
            ++epoch_;
            EnterPhase(Phase::Disconnected);
            if (host_) {
                host_->Disconnect();
            }
            return;
        }
        if (phase_ == Phase::Failed || phase_ == Phase::Programmed || phase_ == Phase::Verifying ||
            protocol_ == Protocol::None) {
            continue;  // recorded only
        }
        uint32_t expected = kBaudGreeting;
        if (phase_ != Phase::Greeting && protocol_ == Protocol::BlockCrc) {
            expected = kBaudFast;
        }
        if (speed != 0 && speed != expected) {
            Fail(ERR_LINE_SPEED);
            continue;
        }
        if (IsBytePhase(phase_) && CheckByteFault()) {
            continue;
        }
        HandleByte(byte);
    }
}

void DeviceModel::HandleByte(uint8_t byte) {
    switch (phase_) {
        case Phase::Greeting:
            startWindow_.push_back(static_cast<char>(byte));
            if (startWindow_.size() > 5) {
                startWindow_.erase(0, startWindow_.size() - 5);
            }
            if (startWindow_ == "START") {
                StartErase(Phase::Erasing);
            }
            break;
        case Phase::Erasing:
        case Phase::UpperErasing:
            Fail(ERR_DATA_WHILE_ERASING);
            break;
        case Phase::Header:
            collect_.push_back(byte);
            if (collect_.size() == 4) {
                const uint32_t word = Le32(collect_, 0);
                if (config_.star) {
                    if (word % kBlockSize != 0 || word > kMaxUpperLength) {
                        Fail(ERR_HEADER_UPPER);
                    }
                } else if (word != kHeaderMagic) {
                    Fail(ERR_HEADER_MAGIC);
                }
            } else if (collect_.size() == 8) {
                OnHeader();
            }
            break;
        case Phase::Lower:
        case Phase::Upper:
            OnRegionByte(byte);
            break;
        case Phase::EndMarker:
            OnEndMarkerByte(byte);
            break;
        case Phase::Lengths:
            collect_.push_back(byte);
            if (collect_.size() == 2) {
                const uint16_t l0 = Le16(collect_, 0);
                if (l0 % kBlockSize != 0 || l0 > kMaxLength0) {
                    Fail(ERR_LENGTH0);
                }
            } else if (collect_.size() == 4) {
                OnLengths();
            }
            break;
        case Phase::Region0:
        case Phase::Region1:
            OnChunkByte(byte);
            break;
        case Phase::Totals:
            collect_.push_back(byte);
            if (collect_.size() == 2) {
                if (Le16(collect_, 0) != static_cast<uint16_t>(~totals_[0])) {
                    Fail(ERR_TOTAL0);
                }
            } else if (collect_.size() == 4) {
                OnTotals();
            }
            break;
        default:
            break;
    }
}

void DeviceModel::StartErase(Phase phase) {
    EnterPhase(phase);
    Later(EraseMicros(phase), [this, phase] {
        if (!SendReply(phase, 0, MakeRecord("ERASED"))) {
            return;
        }
        if (phase == Phase::UpperErasing) {
            regionLength_ = report_.upperLength;
            regionReceived_ = 0;
            regionFirstBlock_ = blocksProgrammed_;
            EnterPhase(Phase::Upper);
        } else if (protocol_ == Protocol::BlockCrc) {
            EnterPhase(Phase::Header);
        } else {
            EnterPhase(Phase::Lengths);
        }
    });
}

void DeviceModel::OnHeader() {
    const uint32_t first = Le32(collect_, 0);
    const uint32_t lower = Le32(collect_, 4);
    const uint32_t upper = config_.star ? first : config_.upperLength;
    if (lower == 0 || lower > kMaxLowerLength || (upper != 0 && lower % kBlockSize != 0)) {
        Fail(ERR_HEADER_LOWER);
        return;
    }
    report_.lowerLength = lower;
    report_.upperLength = upper;
    regionLength_ = lower;
    regionReceived_ = 0;
    regionFirstBlock_ = 0;
    EnterPhase(Phase::Lower);
}

void DeviceModel::OnRegionByte(uint8_t byte) {
    if (regionReceived_ >= regionLength_) {
        Fail(ERR_UNEXPECTED_DATA);  // bytes beyond the region before its last reply
        return;
    }
    collect_.push_back(byte);
    ++regionReceived_;
    if (collect_.size() == kBlockSize) {
        ProgramBlock(false);
    } else if (regionReceived_ == regionLength_) {
        ProgramBlock(true);
    }
    MaybeFinishRegion();
}

void DeviceModel::ProgramBlock(bool partial) {
    const uint32_t block = blocksProgrammed_++;
    uint16_t crc = DeviceCrc16(collect_.data(), collect_.size());
    collect_.clear();
    if (faults_.wrongCrcBlock && *faults_.wrongCrcBlock == block) {
        crc = static_cast<uint16_t>(crc + 1);
    }
    const uint64_t now = host_ ? host_->NowMicros() : 0;
    busyUntil_ = std::max(now, busyUntil_) + BlockMicros(block);
    if (partial && !config_.ackPartialBlock) {
        return;
    }
    ++pendingReplies_;
    const Phase region = phase_;
    const uint32_t index = block - regionFirstBlock_;
    Later(busyUntil_ - now, [this, region, index, crc] {
        --pendingReplies_;
        if (!SendReply(region, index, MakeRecord("CRC" + std::to_string(crc)))) {
            return;
        }
        ++report_.blocksAcknowledged;
        MaybeFinishRegion();
    });
}

void DeviceModel::MaybeFinishRegion() {
    if ((phase_ != Phase::Lower && phase_ != Phase::Upper) || regionReceived_ < regionLength_ ||
        pendingReplies_ != 0) {
        return;
    }
    if (phase_ == Phase::Lower && report_.upperLength != 0) {
        StartErase(Phase::UpperErasing);
    } else {
        EnterPhase(Phase::EndMarker);
    }
}

void DeviceModel::OnEndMarkerByte(uint8_t byte) {
    if (byte != 0xFF) {
        Fail(ERR_END_MARKER);
        return;
    }
    collect_.push_back(byte);
    if (collect_.size() == 4) {
        Finish();
    }
}

void DeviceModel::OnLengths() {
    const uint16_t l1 = Le16(collect_, 2);
    if (l1 % kBlockSize != 0 || l1 > kMaxLength1) {
        Fail(ERR_LENGTH1);
        return;
    }
    report_.length0 = Le16(collect_, 0);
    report_.length1 = l1;
    checksumRegion_ = -1;
    EnterNextChecksumRegion();
}

void DeviceModel::EnterNextChecksumRegion() {
    while (++checksumRegion_ < 2) {
        const uint32_t length = checksumRegion_ == 0 ? report_.length0 : report_.length1;
        if (length != 0) {
            regionLength_ = length;
            chunkOffset_ = 0;
            EnterPhase(checksumRegion_ == 0 ? Phase::Region0 : Phase::Region1);
            return;
        }
    }
    EnterPhase(Phase::Totals);
}

void DeviceModel::OnChunkByte(uint8_t byte) {
    collect_.push_back(byte);
    if (collect_.size() < kBlockSize + 2) {
        return;
    }
    uint16_t sum = 0;
    for (uint32_t i = 0; i < kBlockSize; ++i) {
        sum = static_cast<uint16_t>(sum + collect_[i]);
    }
    if (Le16(collect_, kBlockSize) != sum) {
        Fail(ERR_CHUNK_SUM);
        return;
    }
    totals_[checksumRegion_] = static_cast<uint16_t>(totals_[checksumRegion_] + sum);
    collect_.clear();
    const uint64_t now = host_ ? host_->NowMicros() : 0;
    busyUntil_ = std::max(now, busyUntil_) + BlockMicros(blocksProgrammed_++);
    chunkOffset_ += kBlockSize;
    if (chunkOffset_ >= regionLength_) {
        EnterNextChecksumRegion();
    }
}

void DeviceModel::OnTotals() {
    if (Le16(collect_, 2) != static_cast<uint16_t>(~totals_[1])) {
        Fail(ERR_TOTAL1);
        return;
    }
    Finish();
}

void DeviceModel::Finish() {
    EnterPhase(Phase::Verifying);
    const uint64_t now = host_ ? host_->NowMicros() : 0;
    const uint64_t at = std::max(now, busyUntil_) + config_.finishMicros;
    Later(at - now, [this] {
        if (!SendReply(Phase::Verifying, 0, MakeRecord("PROGRAMMED"))) {
            return;
        }
        EnterPhase(Phase::Programmed);
    });
}

}  // namespace norvane::sim
