// The result box's second text: why a job went wrong and what the user can do about it. The
// search keeps each port's story; the protocols keep the phase they were in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/Image.h"
#include "engine/JobEvents.h"
#include "engine/Results.h"
#include "serial/OpenFailure.h"

namespace norvane {

class MultiStrings;

// What became of one port during the search.
enum class PortFate {
    Absent,            // no such port: nothing to say
    NotSerialPort,     // a file, a directory, /dev/null, a FIFO
    PermissionDenied,  // the user may not open it
    InUse,             // another program holds it
    SamePort,          // a second name for a port opened already
    OpenFailed,        // any other refusal of the system
    Silent,            // opened, nothing arrived
    NoGreeting,        // bytes arrived, but no greeting
    Greeted,           // a device greeted on it
    Disconnected,      // the line hung up while we listened
};

struct PortStory {
    PortFate fate = PortFate::Absent;
    std::string label;    // "COM3 (/dev/ttyUSB0, 16550A)"
    OpenFailure failure;  // why the open failed, for the fates of a failed open
    // For Silent and NoGreeting: another program that had the port open as well.
    std::optional<PortHolder> sharedWith;
};

// "COM3 (/dev/ttyUSB0, FTDI FT232R USB UART, serial A12345)": the port's number, its path
// where it has one of its own, and what the system says it is, where it says anything.
std::string PortLabel(int n, std::string_view devicePath, std::string_view description = {});

// The fate of a port whose open failed. A port that cannot say why (kind None) counts as
// absent.
PortFate FateOfFailedOpen(const OpenFailure& failure);

// The port's line for the second text, with what to do; empty for a port that was simply
// absent or greeted a device.
std::string StoryLine(const PortStory& story, const MultiStrings& strings);

// Where a programming run stood: erasing, waiting for block n of region m (both counted from
// 0, like the regions in the status texts), or verifying.
struct RunPhase {
    enum Kind { Erase, Block, Verify };
    Kind kind = Erase;
    int block = 0;
    int region = 0;
};
std::string PhaseText(const RunPhase& phase, const MultiStrings& strings);

// How a step ended, as far as the user's second text is concerned.
struct StepEnd {
    FlashResult result = 0;
    RunPhase phase;               // where a programming run stood
    uint32_t mismatchBlock = 0;   // the block whose check did not match (detail 0xFFFE)
    bool lineGone = false;        // the device's line hung up
    bool lineStalled = false;     // a waiting write was not taken by the line in its time
    bool deviceReported = false;  // the result's detail is the code of the device's "ERROR"
    uint64_t droppedBytes = 0;    // bytes from the device this computer lost (a full ring)
    std::string portLabel;        // the device's port
    std::string reply;            // the last reply record read (ReplyText), for RC_INVALID_REPLY
    std::string replyPort;        // the port it came from
};

// The second text for a programming run's or the search's end: why it went wrong; empty for
// success, an abort and the results whose message says it all.
std::string StepEndDetail(const StepEnd& end, const MultiStrings& strings);

// "Stopped during the search." and the like: where an abort found the job.
std::string InterruptedDetail(std::string_view phaseText, const MultiStrings& strings);

// The second text of RC_DEVICE_UNKNOWN: the kind the device greeted as, shown safely.
std::string UnknownKindDetail(const JobEvent::Found& device, const MultiStrings& strings);

// The second text of RC_WRONG_DEVICE: the kind found and the kind the image is for.
std::string WrongDeviceDetail(const JobEvent::Found& device, ImageKind imageKind,
                              const MultiStrings& strings);

// The second text of RC_INVALID_IMAGE; empty for ImageFault::None.
std::string ImageFaultDetail(ImageFault fault, const MultiStrings& strings);

// A 16-character reply record as the user can read it: without its trailing line breaks and
// blanks, every other control byte made visible (strings/VisibleText.h).
std::string ReplyText(const char* record);

}  // namespace norvane
