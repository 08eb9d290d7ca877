// The production log (--log FILE): one JSON object a line for every device that reached a
// result, appended and on the disk before its port takes the next device.
//
//   {"time_start":"2026-12-08T10:15:30.120Z","time_end":"...","host":"bench-3","port":"COM1",
//    "path":"/dev/ttyUSB0","kind":"OS","serial":"1234567","image_version":"OS 3.10",
//    "image_sha256":"<64 hex digits>","program_version":"2.1.0","status":0,
//    "message":"Device correctly programmed","detail":"","seconds":4.211}
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "app/console/AppendFile.h"
#include "engine/JobEvents.h"

namespace norvane {

class MultiStrings;

// What is the same on every line of one run.
struct LogIdentity {
    std::string host;
    std::string imageVersion;
    std::string imageSha256;
    std::string programVersion;
};

// One device's line.
struct DeviceRecord {
    std::chrono::system_clock::time_point start;  // when it greeted
    std::chrono::system_clock::time_point end;    // when its result came
    double seconds = 0;                           // between the two, on the steady clock
    std::string port;                             // "COM1"
    std::string path;
    std::string kind;    // the kind code the device sent ("OS")
    std::string serial;  // as the device sent it, up to its record's line break
    int status = 0;      // the exit status its result would give alone
    std::string message;
    std::string detail;
};

// The device's serial number as it sent it, up to its record's line break.
std::string SerialOf(const JobEvent::Found& found);

// "2026-12-08T10:15:30.120Z".
std::string IsoUtc(std::chrono::system_clock::time_point time);

std::string LogLine(const DeviceRecord& record, const LogIdentity& identity);

// What a front end keeps of one job, for its log line: the device, and when it greeted.
class DeviceTrack {
public:
    void Found(const JobEvent::Found& found);
    // The device's line for its result; none when no device greeted.
    std::optional<DeviceRecord> Done(const JobEvent::Done& done, const std::string& path,
                                     const MultiStrings& strings) const;
    const std::optional<JobEvent::Found>& Device() const { return found_; }
    void Clear() { found_.reset(); }

private:
    std::optional<JobEvent::Found> found_;
    std::chrono::system_clock::time_point start_;
    std::chrono::steady_clock::time_point steadyStart_;
};

class DeviceLog {
public:
    // Opens `path` for appending; the system's reason when it cannot be.
    std::optional<std::string> Open(const std::string& path, LogIdentity identity);
    bool Enabled() const { return file_.IsOpen(); }
    // Appends the record's line and flushes it to the disk; false (and Lost) when it failed.
    bool Write(const DeviceRecord& record);
    bool Lost() const { return !lostReason_.empty(); }
    // "<path>: <the system's reason>" for the first loss.
    const std::string& LostReason() const { return lostReason_; }

private:
    AppendFile file_;
    std::string path_;
    LogIdentity identity_;
    std::string lostReason_;
};

}  // namespace norvane
