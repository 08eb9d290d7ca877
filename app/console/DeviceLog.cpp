#include "app/console/DeviceLog.h"

#include <cstdio>

#include "app/ProgrammerDlg.h"
#include "app/console/JsonText.h"
#include "strings/MultiStrings.h"

namespace norvane {

std::string SerialOf(const JobEvent::Found& found) {
    return found.serial.substr(0, found.serial.find_first_of("\r\n"));
}

std::string IsoUtc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<milliseconds>(time - day)};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::string LogLine(const DeviceRecord& record, const LogIdentity& identity) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", record.seconds);
    std::string line = "{";
    const auto field = [&line](const char* name, const std::string& value) {
        line += (line.size() > 1 ? ",\"" : "\"") + std::string(name) + "\":" + JsonString(value);
    };
    field("time_start", IsoUtc(record.start));
    field("time_end", IsoUtc(record.end));
    field("host", identity.host);
    field("port", record.port);
    field("path", record.path);
    field("kind", record.kind);
    field("serial", record.serial);
    field("image_version", identity.imageVersion);
    field("image_sha256", identity.imageSha256);
    field("program_version", identity.programVersion);
    line += ",\"status\":" + std::to_string(record.status);
    field("message", record.message);
    field("detail", record.detail);
    line += ",\"seconds\":" + std::string(seconds) + "}\n";
    return line;
}

void DeviceTrack::Found(const JobEvent::Found& found) {
    found_ = found;
    start_ = std::chrono::system_clock::now();
    steadyStart_ = std::chrono::steady_clock::now();
}

std::optional<DeviceRecord> DeviceTrack::Done(const JobEvent::Done& done, const std::string& path,
                                              const MultiStrings& strings) const {
    if (!found_) {
        return std::nullopt;
    }
    DeviceRecord record;
    record.start = start_;
    record.end = std::chrono::system_clock::now();
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart_).count();
    record.port = "COM" + std::to_string(found_->port);
    record.path = found_->path.empty() ? path : found_->path;
    record.kind = found_->kindCode;
    record.serial = SerialOf(*found_);
    record.status = ExitStatusOf(done.result);
    record.message = MessageOf(done.result, strings).value_or("");
    record.detail = done.detail.substr(0, done.detail.find_last_not_of("\r\n") + 1);
    return record;
}

std::optional<std::string> DeviceLog::Open(const std::string& path, LogIdentity identity) {
    path_ = path;
    identity_ = std::move(identity);
    return file_.Open(path);
}

bool DeviceLog::Write(const DeviceRecord& record) {
    if (!file_.IsOpen()) {
        return true;
    }
    if (const auto error = file_.Append(LogLine(record, identity_))) {
        if (lostReason_.empty()) {
            lostReason_ = path_ + ": " + *error;
        }
        return false;
    }
    return true;
}

}  // namespace norvane
