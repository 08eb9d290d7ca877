#include "app/console/Station.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "app/JobMailbox.h"
#include "app/JobThread.h"
#include "app/PortIdentity.h"
#include "app/ProgrammerDlg.h"
#include "app/SignalAbort.h"
#include "app/console/JsonText.h"
#include "app/console/StationTable.h"
#include "engine/Diagnosis.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"
#include "strings/VisibleText.h"

namespace norvane {
namespace {

using namespace std::chrono_literals;

// How often the table is drawn at most, and the longest wait for the next event.
constexpr auto kRedrawInterval = 100ms;

// Stop signals seen so far. Outside the station: the signal's watcher thread may still count
// one while the program ends.
std::atomic<int> stopSignals{0};

enum class Outcome { None, Programmed, Failed, AlreadyProgrammed, Idle };

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Programmed:
            return "programmed";
        case Outcome::Failed:
            return "failed";
        case Outcome::AlreadyProgrammed:
            return "already-programmed";
        case Outcome::None:
        case Outcome::Idle:
            break;
    }
    return "idle";
}

// One device: its kind and serial number as it sent them.
std::string KeyOf(const JobEvent::Found& found) {
    return found.kindCode + '\n' + SerialOf(found);
}

// `text` cut to at most `columns` code points.
std::string Cut(const std::string& text, int columns) {
    return FitToColumns(text, columns + 1);
}

// The devices programmed in this run, asked by every port's job before it writes to a device.
class ProgrammedDevices {
public:
    bool Contains(const std::string& key) const {
        std::lock_guard lock(mutex_);
        return keys_.count(key) != 0;
    }
    void Add(const std::string& key) {
        std::lock_guard lock(mutex_);
        keys_.insert(key);
    }

private:
    mutable std::mutex mutex_;
    std::set<std::string> keys_;
};

struct StationPort {
    PortEntry entry;
    std::string label;       // "COM1"
    std::string path;        // where the port leads, for the reports
    std::string jsonFields;  // ,"port":"COM1","path":"..."

    // The job now running on the port, and what the station keeps of it.
    std::unique_ptr<JobThread> job;
    std::unique_ptr<ConsoleReport> report;  // its lines, except on the table
    DeviceTrack track;
    std::optional<JobEvent> version;
    bool announced = false;  // its device is being programmed or has its result

    // The table's row.
    std::string device;
    std::string serial;
    std::string phase;
    ProgressState progress;
    std::string result;  // the last result on the port, shown until a device is programmed

    // What the port remembers from one job to the next, as long as the device may still be on
    // the bed: the last device that had an outcome here, and the last one declined.
    std::string lastKey;
    std::string declinedKey;

    // The summary.
    Outcome outcome = Outcome::None;
    std::string outcomeSerial;
    int outcomeStatus = 0;
    int programmed = 0;
    int failed = 0;
    int firstFailure = 0;  // the status of the port's first failure
};

class Station {
public:
    Station(const StationSetup& setup, const JobEnvironment& environment,
            const MultiStrings& strings, ConsoleOutputs outputs)
        : continuous_(setup.continuous),
          style_(setup.style),
          environment_(environment),
          strings_(strings),
          out_(outputs.out),
          err_(outputs.err),
          log_(outputs.log),
          imageKind_(UsableImageKind(environment.loadImage())),
          table_(outputs.out) {
        for (const PortEntry& entry : setup.ports) {
            StationPort port;
            port.entry = entry;
            port.label = "COM" + std::to_string(entry.number);
            port.path = PortPathOf(entry);
            port.jsonFields =
                R"(,"port":)" + JsonString(port.label) + R"(,"path":)" + JsonString(port.path);
            ports_.push_back(std::move(port));
        }
    }

    int Run(std::string* outcome) {
        for (size_t i = 0; i < ports_.size(); ++i) {
            if (const auto reason = MissingPortReason(ports_[i].entry)) {
                Missing(ports_[i], *reason);
            } else {
                Start(i);
            }
        }
        Redraw(true);
        while (AnyRunning()) {
            const auto event = mailbox_.Take(kRedrawInterval);
            OnSignals();
            if (event) {
                Apply(*event);
            }
            Redraw(false);
        }
        Redraw(true);
        *outcome = SummaryText();
        Summarize();
        return ExitStatus();
    }

private:
    bool AnyRunning() const {
        for (const StationPort& port : ports_) {
            if (port.job) {
                return true;
            }
        }
        return false;
    }

    void Start(size_t index) {
        StationPort& port = ports_[index];
        port.job = std::make_unique<JobThread>(static_cast<JobId>(index), mailbox_);
        if (style_ != ReportStyle::Terminal) {
            port.report = std::make_unique<ConsoleReport>(
                style_, strings_, out_, err_, 0, ReportTag{port.label + ": ", port.jsonFields});
        }
        // The device the search finds is asked about on the job's thread, before the job
        // writes a byte to it.
        port.job->Start({port.entry}, [this, lastKey = port.lastKey](const JobContext& context) {
            JobContext job = context;
            job.acceptDevice = [this, lastKey](const JobEvent::Found& found) {
                return Accept(found, lastKey);
            };
            return RunProgrammingJob(job, environment_);
        });
    }

    // Whether the job may program `found`: never a device programmed in this run; nor the
    // device that was just refused on this port for its kind, still on the bed (its outcome is
    // the same without a byte written, and was reported once).
    bool Accept(const JobEvent::Found& found, const std::string& lastKey) const {
        const std::string key = KeyOf(found);
        if (programmed_.Contains(key)) {
            return false;
        }
        return found.kind == imageKind_ || key != lastKey;
    }

    void Apply(const JobEvent& event) {
        StationPort& port = ports_[static_cast<size_t>(event.job)];
        if (std::holds_alternative<JobEvent::Version>(event.what)) {
            port.version = event;
        } else if (const auto* phase = std::get_if<JobEvent::Phase>(&event.what)) {
            // A phase after the device greeted: the job took the device.
            if (port.track.Device() && !port.announced) {
                Announce(port);
            }
            if (port.report && port.announced) {
                port.report->Apply(event);
            }
            port.phase = OneLineOf(phase->text);
            port.progress.SetRange(phase->range);
            port.progress.SetPosition(phase->position);
        } else if (const auto* progress = std::get_if<JobEvent::Progress>(&event.what)) {
            if (port.report && port.announced) {
                port.report->Apply(event);
            }
            port.progress.SetPosition(progress->position);
        } else if (const auto* found = std::get_if<JobEvent::Found>(&event.what)) {
            port.track.Found(*found);
            port.device = OneLineOf(found->displayName);
            port.serial = found->kind != IMAGE_INVALID ? VisibleLine(found->serial) : "";
        } else if (const auto* done = std::get_if<JobEvent::Done>(&event.what)) {
            OnDone(static_cast<size_t>(event.job), *done);
        }
        dirty_ = true;
    }

    // The device the job took is reported from here on, as a single run reports it.
    void Announce(StationPort& port) {
        port.announced = true;
        port.result.clear();
        if (port.report) {
            if (port.version) {
                port.report->Apply(*port.version);
            }
            port.report->Apply({0, *port.track.Device()});
        }
    }

    void OnDone(size_t index, const JobEvent::Done& done) {
        StationPort& port = ports_[index];
        const auto& device = port.track.Device();
        const ResultCode code = CodeOf(done.result);
        // The job posts this last and returns right after it: every port is closed.
        port.job->Join();
        if (code == RC_DECLINED && device) {
            // Reported once, however long it goes on greeting.
            const std::string key = KeyOf(*device);
            if (key != port.declinedKey && programmed_.Contains(key)) {
                AlreadyProgrammed(port, *device);
            }
            port.declinedKey = key;
        } else if (code == RC_NO_DEVICE || (code == RC_INTERRUPTED && !port.announced)) {
            // Nothing greeted, or the search was stopped; a greeting in its very last tick is
            // overruled (DeviceSearch), so a device seen then was never taken.
            if (code == RC_NO_DEVICE) {  // a whole search without a greeting: the bed is empty
                port.lastKey.clear();
                port.declinedKey.clear();
            }
            if (!continuous_) {
                Idle(port, done.detail);
            }
        } else {
            Result(port, done);
        }
        port.job.reset();
        port.report.reset();
        port.track.Clear();
        port.version.reset();
        port.announced = false;
        port.phase.clear();
        port.progress = {};
        if (continuous_ && !stopping_) {
            Start(index);
        }
    }

    void Result(StationPort& port, const JobEvent::Done& done) {
        const auto& device = port.track.Device();
        if (device && !port.announced) {
            Announce(port);
        }
        const int status = ExitStatusOf(done.result);
        const std::string message = MessageOf(done.result, strings_).value_or("");
        // The row shows the result from here on, also in the table drawn below its line.
        port.result = message;
        port.announced = false;
        port.phase.clear();
        if (port.report) {
            port.report->Finish(done);
        } else {
            std::string line = port.label + ": ";
            if (device) {
                line += port.device + (port.serial.empty() ? "" : " " + port.serial) + ": ";
            }
            Say(status == 0 ? out_ : err_, line + message + "\n" + Prefixed(port, done.detail));
        }
        if (const auto record = port.track.Done(done, port.path, strings_)) {
            if (!log_.Write(*record)) {
                StopTakingDevices();  // no device goes unrecorded
            }
        }
        if (status == 0) {
            programmed_.Add(KeyOf(*device));
            ++port.programmed;
        } else {
            ++port.failed;
            if (port.firstFailure == 0) {
                port.firstFailure = status;
            }
        }
        port.lastKey = device ? KeyOf(*device) : "";
        port.declinedKey.clear();
        port.outcome = status == 0 ? Outcome::Programmed : Outcome::Failed;
        port.outcomeSerial = device ? SerialOf(*device) : "";
        port.outcomeStatus = status;
        if (out_.Lost() || err_.Lost()) {
            StopTakingDevices();
        }
    }

    // A port named by a path that is not there: its own failure, found before any job.
    void Missing(StationPort& port, const std::string& reason) {
        const std::string detail = FormatText(strings_.Text(IDS_PORT_OPEN_FAILED),
                                              {PortLabel(port.entry.number, port.path), reason});
        if (style_ != ReportStyle::Terminal) {
            port.report = std::make_unique<ConsoleReport>(
                style_, strings_, out_, err_, 0, ReportTag{port.label + ": ", port.jsonFields});
        }
        Result(port, {MakeResult(RC_NO_DEVICE), detail});
        port.report.reset();
    }

    void AlreadyProgrammed(StationPort& port, const JobEvent::Found& device) {
        ++alreadyProgrammed_;
        port.outcome = Outcome::AlreadyProgrammed;
        port.outcomeSerial = SerialOf(device);
        port.outcomeStatus = 0;
        port.result = strings_.Text(IDS_ALREADY_PROGRAMMED);
        if (style_ == ReportStyle::Json) {
            out_.Write(R"({"event":"already-programmed")" + port.jsonFields + R"(,"device":)" +
                       JsonString(device.displayName) + R"(,"serial":)" +
                       JsonString(SerialOf(device)) + "}\n");
        } else {
            Say(out_,
                port.label + ": " + port.result + ": " + port.device + " " + port.serial + "\n");
        }
    }

    void Idle(StationPort& port, const std::string& detail) {
        if (port.outcome == Outcome::None) {
            port.outcome = Outcome::Idle;
            port.outcomeStatus = ExitStatusOf(MakeResult(RC_NO_DEVICE));
        }
        port.result = strings_.Text(IDS_PORT_IDLE);
        const std::string why = detail.substr(0, detail.find_last_not_of("\r\n") + 1);
        if (style_ == ReportStyle::Json) {
            out_.Write(R"({"event":"idle")" + port.jsonFields +
                       (why.empty() ? "" : R"(,"detail":)" + JsonString(why)) + "}\n");
        } else if (style_ == ReportStyle::Lines || !why.empty()) {  // the table says the rest
            Say(out_, port.label + ": " + port.result + "\n" + Prefixed(port, why));
        }
    }

    // Each line of `text` led by the port, for the plain outputs.
    static std::string Prefixed(const StationPort& port, const std::string& text) {
        std::string lines;
        size_t at = 0;
        while (at < text.size()) {
            const size_t end = std::min(text.find('\n', at), text.size());
            if (end > at) {
                lines += port.label + ": " + text.substr(at, end - at) + "\n";
            }
            at = end + 1;
        }
        return lines;
    }

    // Lines that stay: on a terminal above the table, elsewhere as they come.
    void Say(ReportStream& to, const std::string& text) {
        if (style_ == ReportStyle::Terminal) {
            table_.SetRows(Rows());
            table_.PrintAbove(to, text);
            lastDraw_ = std::chrono::steady_clock::now();
            dirty_ = false;
        } else {
            to.Write(text);
        }
    }

    std::vector<std::vector<std::string>> Rows() const {
        std::vector<std::vector<std::string>> rows;
        rows.push_back({strings_.Text(IDS_PORT), strings_.Text(IDS_DEVICE),
                        strings_.Text(IDS_SERIAL_NUMBER), strings_.Text(IDS_STATUS), "%"});
        for (const StationPort& port : ports_) {
            // The last result stays in sight until the next device is taken.
            const bool showPhase = port.announced || (port.result.empty() && port.job);
            std::string percent;
            if (showPhase && !port.phase.empty() && port.progress.upper > 0) {
                percent = std::to_string(static_cast<int>(port.progress.Fraction() * 100.0)) + "%";
            }
            rows.push_back({port.label, Cut(port.device, 24), Cut(port.serial, 20),
                            Cut(showPhase ? port.phase : port.result, 44), percent});
        }
        return rows;
    }

    void Redraw(bool now) {
        if (style_ != ReportStyle::Terminal || (!now && !dirty_)) {
            return;
        }
        const auto time = std::chrono::steady_clock::now();
        if (!now && time - lastDraw_ < kRedrawInterval) {
            return;
        }
        table_.SetRows(Rows());
        table_.Draw();
        lastDraw_ = time;
        dirty_ = false;
    }

    // The first stop signal: no new device; the second: the devices in progress stop too.
    void OnSignals() {
        const int signals = stopSignals.load();
        if (signals > 0 && handledSignals_ == 0) {
            signalled_ = true;
            Say(err_, std::string(strings_.Text(IDS_STATION_STOPPING)) + "\n");
            StopTakingDevices();
        }
        if (signals > 1 && handledSignals_ < 2) {
            for (StationPort& port : ports_) {
                if (port.job) {
                    port.job->RequestAbort();
                }
            }
        }
        handledSignals_ = signals;
    }

    void StopTakingDevices() {
        stopping_ = true;
        for (StationPort& port : ports_) {
            if (port.job) {
                port.job->RequestNoNewDevice();
            }
        }
    }

    std::string SummaryText() const {
        int programmed = 0, failed = 0, idle = 0;
        for (const StationPort& port : ports_) {
            programmed += port.programmed;
            failed += port.failed;
            idle += port.outcome == Outcome::Idle ? 1 : 0;
        }
        return FormatText(strings_.Text(IDS_STATION_SUMMARY),
                          {programmed, failed, alreadyProgrammed_, idle});
    }

    void Summarize() {
        if (style_ != ReportStyle::Json) {
            out_.Write(SummaryText() + "\n");  // below the table's last drawing
            return;
        }
        int programmed = 0, failed = 0, idle = 0;
        std::string list;
        for (const StationPort& port : ports_) {
            programmed += port.programmed;
            failed += port.failed;
            idle += port.outcome == Outcome::Idle ? 1 : 0;
            list += std::string(list.empty() ? "" : ",") + R"({"port":)" + JsonString(port.label) +
                    R"(,"path":)" + JsonString(port.path) + R"(,"serial":)" +
                    JsonString(port.outcomeSerial) + R"(,"result":")" + OutcomeName(port.outcome) +
                    R"(","status":)" +
                    std::to_string(port.outcome == Outcome::None
                                       ? ExitStatusOf(MakeResult(RC_NO_DEVICE))
                                       : port.outcomeStatus) +
                    R"(,"programmed":)" + std::to_string(port.programmed) + R"(,"failed":)" +
                    std::to_string(port.failed) + "}";
        }
        out_.Write(R"({"event":"summary","ports":[)" + list + R"(],"programmed":)" +
                   std::to_string(programmed) + R"(,"failed":)" + std::to_string(failed) +
                   R"(,"already_programmed":)" + std::to_string(alreadyProgrammed_) +
                   R"(,"idle":)" + std::to_string(idle) + R"(,"status":)" +
                   std::to_string(ExitStatus()) + "}\n");
    }

    int ExitStatus() const {
        const StationPort* firstFailing = nullptr;
        int programmed = 0;
        for (const StationPort& port : ports_) {
            programmed += port.programmed;
            if (port.firstFailure != 0 &&
                (!firstFailing || port.entry.number < firstFailing->entry.number)) {
                firstFailing = &port;
            }
        }
        if (firstFailing) {
            return firstFailing->firstFailure;
        }
        if (programmed > 0 || (continuous_ && signalled_)) {
            return 0;
        }
        return ExitStatusOf(MakeResult(RC_NO_DEVICE));
    }

    const bool continuous_;
    const ReportStyle style_;
    const JobEnvironment& environment_;
    const MultiStrings& strings_;
    ReportStream& out_;
    ReportStream& err_;
    DeviceLog& log_;
    const ImageKind imageKind_;
    StationTable table_;

    ProgrammedDevices programmed_;
    int alreadyProgrammed_ = 0;
    bool stopping_ = false;
    bool signalled_ = false;
    int handledSignals_ = 0;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};

    // Declared last: the jobs are stopped and joined first, while the mailbox they post to is
    // still there.
    JobMailbox mailbox_;
    std::vector<StationPort> ports_;
};

}  // namespace

int RunStation(const StationSetup& setup, const JobEnvironment& environment,
               const MultiStrings& strings, ConsoleOutputs outputs, std::string* outcome) {
    Station station(setup, environment, strings, outputs);
    // A station takes two stop signals before the fast exit (SignalAbort.h).
    InstallSignalAbort([](int) { ++stopSignals; }, 2);
    return station.Run(outcome);
}

}  // namespace norvane
