// What a programming job tells whoever shows it: typed events, each naming the job it comes
// from, so that one stream can carry several jobs at once. The job never touches a window or a
// terminal: it posts these and goes on; the front end applies them on its own thread.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "engine/Image.h"
#include "engine/Results.h"

namespace norvane {

// Which job an event comes from: the station numbers its jobs, a single run has job 0.
using JobId = int;

struct JobEvent {
    // The embedded image's version text, once, when the image is usable.
    struct Version {
        std::string text;
    };
    // A new status text with the progress bar over 0..range, at `position`.
    struct Phase {
        std::string text;
        int32_t range = 0;
        int32_t position = 0;
    };
    // The progress bar's new position within the phase's range.
    struct Progress {
        int32_t position = 0;
    };
    // A device greeted: where, and what it said of itself.
    struct Found {
        int port = 0;                    // the n of COMn
        std::string path;                // the device the port led to; empty where there is none
        ImageKind kind = IMAGE_INVALID;  // IMAGE_INVALID: a kind the program does not know
        std::string kindCode;            // the two characters the device sent as its kind
        std::string displayName;         // "Tarvik", or "Unknown device"
        std::string serial;              // as the device sent it, to the end of its record
        bool starFlag = false;           // an OS device that greeted with '*' (BlockCrcProtocol)
    };
    // The job's end: its final result and why it went wrong (empty when the message says it
    // all). Always the job's last event.
    struct Done {
        FlashResult result = 0;
        std::string detail;
    };

    JobId job = 0;
    std::variant<Version, Phase, Progress, Found, Done> what;
};

// Where a job's events go. Post is called on the job's thread, never blocks for long, and
// takes its own copy.
class JobEventSink {
public:
    virtual ~JobEventSink() = default;
    virtual void Post(JobEvent event) = 0;
};

}  // namespace norvane
