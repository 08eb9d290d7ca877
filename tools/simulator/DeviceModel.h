// A model of the flash device on the other end of the serial line: it greets, erases, takes
// the image in either of its two programming protocols, checks every byte it receives and
// answers with 16-byte reply records. Pure logic: it has no clock and does no I/O of its own;
// a transport (in-process virtual wire or pseudo-terminal) drives it through DeviceHost.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::sim {

// What the device needs of its transport.
class DeviceHost {
public:
    virtual ~DeviceHost() = default;
    // Puts bytes on the line towards the host; the transport paces them at the line speed.
    virtual void Send(const uint8_t* data, size_t length) = 0;
    // Runs `action` after `delayMicros` of the transport's time.
    virtual void After(uint64_t delayMicros, std::function<void()> action) = 0;
    // The transport's current time in microseconds.
    virtual uint64_t NowMicros() = 0;
    // The speed the host's side of the line is set to now; 0 when the host's side is closed.
    virtual uint32_t HostLineSpeed() = 0;
    // The speed the host's bytes now arriving were sent at. A transport that takes them late
    // (its reader kept waiting on a busy machine) gives the speed it last saw before they
    // came: the host may have changed the speed since, as it does right after "START".
    virtual uint32_t SpeedOfArrivingBytes() { return HostLineSpeed(); }
    // Drops the line: from now on nothing passes in either direction.
    virtual void Disconnect() = 0;
};

// Where the device stands. Each run passes a subset of these in this order.
enum class Phase : uint8_t {
    Greeting,      // sending "READY" every greeting period, looking for "START"
    Erasing,       // "START" seen; erasing (the lower region, for the block-CRC protocol)
    Header,        // block-CRC: the two 4-byte header words
    Lower,         // block-CRC: the lower region, a "CRC" record per 256-byte block
    UpperErasing,  // block-CRC: erasing the upper region
    Upper,         // block-CRC: the upper region, a "CRC" record per block
    EndMarker,     // block-CRC: the end marker FF FF FF FF
    Lengths,       // checksum: L0 and L1
    Region0,       // checksum: chunks of region 0, each with its 16-bit sum
    Region1,       // checksum: chunks of region 1
    Totals,        // checksum: the complemented region totals
    Verifying,     // all received; "PROGRAMMED" follows after the finish time
    Programmed,    // "PROGRAMMED" sent
    Failed,        // "ERROR" sent; silent from then on
    Disconnected,  // the line was dropped by a fault
};
const char* PhaseName(Phase phase);
std::optional<Phase> PhaseFromName(std::string_view name);

enum class Protocol : uint8_t {
    Auto,  // from the kind code: OS block-CRC, GM/TV checksum, others none
    BlockCrc,
    Checksum,
    None,  // greets only; "START" is recorded and ignored
};

// Codes of the device's "ERROR" record (positions 5-6, low byte first). No byte of a code is
// a line feed or a lower-case letter, so every code reaches the host unchanged.
constexpr uint16_t ERR_LINE_SPEED = 0x0101;          // a byte arrived at the wrong line speed
constexpr uint16_t ERR_DATA_WHILE_ERASING = 0x0102;  // a byte arrived during an erase
constexpr uint16_t ERR_HEADER_MAGIC = 0x0103;        // first header word not 0x00E00000 (no '*')
constexpr uint16_t ERR_HEADER_UPPER =
    0x0104;  // upper length ('*'): not a multiple of 256 or too big
constexpr uint16_t ERR_HEADER_LOWER = 0x0105;     // lower length 0 or above 0x100000
constexpr uint16_t ERR_END_MARKER = 0x0106;       // end marker byte other than 0xFF
constexpr uint16_t ERR_LENGTH0 = 0x0107;          // L0 not a multiple of 256 or above 0x9F00
constexpr uint16_t ERR_LENGTH1 = 0x0108;          // L1 not a multiple of 256 or above 0xBF00
constexpr uint16_t ERR_CHUNK_SUM = 0x0109;        // a chunk's sum does not match its bytes
constexpr uint16_t ERR_TOTAL0 = 0x010B;           // complemented region 0 total wrong
constexpr uint16_t ERR_TOTAL1 = 0x010C;           // complemented region 1 total wrong
constexpr uint16_t ERR_UNEXPECTED_DATA = 0x010D;  // bytes beyond a region before its replies

constexpr uint32_t kBaudGreeting = 9600;
constexpr uint32_t kBaudFast = 115200;
constexpr uint32_t kMaxLowerLength = 0x100000;
constexpr uint32_t kMaxUpperLength = 0xF00000;
constexpr uint32_t kHeaderMagic = 0x00E00000;
constexpr uint32_t kMaxLength0 = 0x9F00;
constexpr uint32_t kMaxLength1 = 0xBF00;

struct DeviceConfig {
    std::string kind = "OS";         // two letters: OS, GM, TV or anything else
    std::string serial = "1234567";  // TV/GM: record positions 7-15; OS: 9-15 (cut to fit)
    bool star = true;                // OS: '*' at position 7 (else '-')
    bool lineFeeds = true;  // records are 15 characters and a line feed, else 16 characters
    Protocol protocol = Protocol::Auto;
    uint64_t firstGreetingMicros = 0;  // from power-on to the first greeting
    uint64_t greetingPeriodMicros = 250'000;
    // Instead of greeting periodically: once only, firstGreetingMicros after a host has opened
    // the line (HostArrived) and still has it open. The one greeting can never meet the host's
    // "START" on the line, nor reach a host that opened the line only for a moment.
    bool greetOnHostArrival = false;
    uint64_t eraseMicros = 800'000;  // each erase; longer than the host's 500 ms pause
    uint64_t blockMicros = 2'000;    // programming one 256-byte block or chunk
    uint64_t finishMicros = 20'000;  // from the last byte to "PROGRAMMED"
    uint32_t upperLength = 0;        // OS without '*': the upper-region length it expects
    bool ackPartialBlock = false;    // answer a trailing partial block with a "CRC" record too
};

// A point in the run for an injected record. In reply phases (Greeting: the index-th
// greeting; Erasing, UpperErasing: the "ERASED" record; Lower, Upper: the "CRC" record of the
// index-th block of that region; Verifying: the "PROGRAMMED" record) the injected record
// replaces that reply. In the other phases (Header, Lengths, Region0, Region1, Totals,
// EndMarker) it is sent once `index` bytes of that phase have been received (0: on entry).
struct FaultPoint {
    Phase phase = Phase::Greeting;
    uint32_t index = 0;
};

struct FaultPlan {
    std::optional<Phase> silentFrom;    // from entering this phase on, nothing is sent
    std::optional<FaultPoint> errorAt;  // "ERROR" with errorCode, then silence
    uint16_t errorCode = 0x4242;
    std::optional<FaultPoint> unexpectedAt;     // a record of another kind; the run goes on
    std::string unexpectedText = "PROGRAMMED";  // its text, e.g. "ERASED", "CRC123", "READY.."
    std::optional<uint32_t> wrongCrcBlock;  // block index over both regions: its CRC is off by one
    std::string noise;                      // bytes sent before every record (e.g. "~#@\n")
    uint32_t strayLineFeeds = 0;            // line feeds sent before every record
    std::optional<uint64_t> disconnectAfterBytes;  // drop the line when this many bytes came in
    std::optional<Phase> slowErasePhase;           // Erasing or UpperErasing; unset: both erases
    uint64_t slowEraseExtraMicros = 0;
    std::optional<uint32_t> slowBlock;  // block index over both regions; unset: every block
    uint64_t slowBlockExtraMicros = 0;
};

struct PhaseLog {
    Phase phase = Phase::Greeting;
    uint64_t enteredAtMicros = 0;
    uint32_t hostSpeedAtEntry = 0;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> byteSpeeds;  // the distinct host speeds at which its bytes arrived
    uint64_t firstByteAtMicros = 0;    // arrival of its first and last byte (0: none)
    uint64_t lastByteAtMicros = 0;
};

struct SentRecord {
    uint64_t atMicros = 0;
    Phase phase = Phase::Greeting;
    std::string bytes;     // the 16 bytes as put on the line (before any garbling)
    bool garbled = false;  // the host's line ran at another speed; it got noise instead
};

struct DeviceReport {
    std::vector<uint8_t> received;  // every byte from the host, in order
    std::vector<PhaseLog> phases;   // in order of entry
    std::vector<SentRecord> sent;   // every record sent (noise excluded)
    std::optional<uint16_t> errorSent;
    uint32_t greetings = 0;
    uint32_t lowerLength = 0, upperLength = 0;  // block-CRC, as learnt
    uint32_t length0 = 0, length1 = 0;          // checksum, as learnt
    uint32_t blocksAcknowledged = 0;

    const PhaseLog* Find(Phase phase) const;
    std::vector<uint8_t> BytesOf(Phase phase) const;
    // "CRC", "ERASED", ... : the records sent whose text starts with `prefix`.
    size_t CountSent(std::string_view prefix) const;
};

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR), the device's own.
uint16_t DeviceCrc16(const uint8_t* data, size_t length);

class DeviceModel {
public:
    explicit DeviceModel(DeviceConfig config, FaultPlan faults = {});
    DeviceModel(const DeviceModel&) = delete;
    DeviceModel& operator=(const DeviceModel&) = delete;

    // Attaches the transport; must outlive the model's activity.
    void SetHost(DeviceHost* host) { host_ = host; }
    // Starts greeting.
    void PowerOn();
    // The transport saw a host open the line.
    void HostArrived();
    // Bytes from the host, as they arrive on the wire.
    void Receive(const uint8_t* data, size_t length);

    Phase CurrentPhase() const { return phase_; }
    const DeviceReport& Report() const { return report_; }
    const DeviceConfig& Config() const { return config_; }
    const FaultPlan& Faults() const { return faults_; }
    Protocol EffectiveProtocol() const { return protocol_; }
    // The speed the device's side of the line runs at now.
    uint32_t DeviceLineSpeed() const;
    // True once the run is over (programmed, failed or disconnected).
    bool Finished() const;

    // The 16 bytes of a record with `text`, padded with spaces, framed as configured.
    std::string MakeRecord(std::string_view text) const;
    std::string GreetingRecord() const;
    std::string ErrorRecord(uint16_t code) const;

private:
    void EnterPhase(Phase phase);
    void HandleByte(uint8_t byte);
    bool CheckByteFault();
    void SendRecord(const std::string& record);
    bool SendReply(Phase phase, uint32_t index, const std::string& record);
    void Fail(uint16_t code);
    void Later(uint64_t delay, std::function<void()> action);
    uint64_t EraseMicros(Phase phase) const;
    uint64_t BlockMicros(uint32_t block) const;

    void Greet(bool again);
    void GreetArrivedHost();  // `again`: and once more a greeting period later
    void StartErase(Phase phase);
    void OnHeader();
    void OnRegionByte(uint8_t byte);
    void ProgramBlock(bool partial);
    void MaybeFinishRegion();
    void EnterAfterLower();
    void OnEndMarkerByte(uint8_t byte);
    void OnLengths();
    void OnChunkByte(uint8_t byte);
    void EnterNextChecksumRegion();
    void OnTotals();
    void Finish();

    DeviceConfig config_;
    FaultPlan faults_;
    Protocol protocol_;
    DeviceHost* host_ = nullptr;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    uint64_t epoch_ = 0;  // bumped when the run fails; stale timers then do nothing

    bool greetedArrivedHost_ = false;  // greetOnHostArrival: the one greeting is out
    Phase phase_ = Phase::Greeting;
    bool silent_ = false;
    bool errorFired_ = false;
    bool unexpectedFired_ = false;
    uint64_t received_ = 0;
    std::string startWindow_;
    std::vector<uint8_t> collect_;  // header words, lengths, totals, end marker, chunk
    uint32_t regionLength_ = 0;
    uint32_t regionReceived_ = 0;
    uint32_t regionBlocks_ = 0;      // blocks (acknowledged ones) of the current region
    uint32_t regionFirstBlock_ = 0;  // global index of its first block
    uint32_t blocksProgrammed_ = 0;  // global
    uint32_t pendingReplies_ = 0;
    uint64_t busyUntil_ = 0;
    uint16_t totals_[2] = {0, 0};
    int checksumRegion_ = 0;
    uint32_t chunkOffset_ = 0;

    DeviceReport report_;
};

}  // namespace norvane::sim
