#include "app/console/ConsoleReport.h"

#include "app/console/JsonText.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

int Percent(const ProgressState& progress) {
    return static_cast<int>(progress.Fraction() * 100.0);
}

}  // namespace

ConsoleReport::ConsoleReport(ReportStyle style, const MultiStrings& strings, std::FILE* out,
                             std::FILE* err)
    : style_(style), strings_(strings), out_(out), err_(err) {}

void ConsoleReport::Apply(const JobEvent& event) {
    if (const auto* version = std::get_if<JobEvent::Version>(&event.what)) {
        OnVersion(OneLineOf(version->text));
    } else if (const auto* phase = std::get_if<JobEvent::Phase>(&event.what)) {
        OnPhase(*phase);
    } else if (const auto* progress = std::get_if<JobEvent::Progress>(&event.what)) {
        progress_.SetPosition(progress->position);
        OnProgress();
    } else if (const auto* found = std::get_if<JobEvent::Found>(&event.what)) {
        OnFound(*found);
    }
}

void ConsoleReport::OnVersion(const std::string& text) {
    if (style_ == ReportStyle::Json) {
        Print(out_, R"({"event":"version","text":)" + JsonString(text) + "}");
    } else {
        Print(out_, std::string(strings_.Text(IDS_PROGRAM_VERSION)) + ": " + text);
    }
}

void ConsoleReport::OnPhase(const JobEvent::Phase& phase) {
    status_ = OneLineOf(phase.text);
    printedTenths_ = -1;
    progress_.SetRange(phase.range);
    progress_.SetPosition(phase.position);
    switch (style_) {
        case ReportStyle::Json:
            Print(out_, R"({"event":"phase","text":)" + JsonString(status_) + "}");
            OnProgress();
            break;
        case ReportStyle::Lines:
            Print(out_, status_);
            break;
        case ReportStyle::Terminal:
            EndProgressLine();
            DrawProgress();
            break;
    }
}

void ConsoleReport::OnFound(const JobEvent::Found& found) {
    const std::string serial = OneLineOf(found.serial);
    const bool knownKind = found.kind != IMAGE_INVALID;
    if (style_ == ReportStyle::Json) {
        std::string line =
            R"({"event":"found","port":)" + JsonString("COM" + std::to_string(found.port));
        if (!found.path.empty()) {
            line += R"(,"path":)" + JsonString(found.path);
        }
        line += R"(,"device":)" + JsonString(found.displayName);
        if (knownKind) {
            line += R"(,"serial":)" + JsonString(serial);
        }
        Print(out_, line + "}");
        return;
    }
    Print(out_, std::string(strings_.Text(IDS_DEVICE)) + ": " + found.displayName);
    if (knownKind) {
        Print(out_, std::string(strings_.Text(IDS_SERIAL_NUMBER)) + ": " + serial);
    }
}

void ConsoleReport::OnProgress() {
    switch (style_) {
        case ReportStyle::Json:
            Print(out_, R"({"event":"progress","position":)" + std::to_string(progress_.position) +
                            R"(,"range":)" + std::to_string(progress_.upper) + "}");
            break;
        case ReportStyle::Terminal:
            if (lineOpen_) {
                DrawProgress();
            }
            break;
        case ReportStyle::Lines:
            if (progress_.upper > 0 && !status_.empty()) {
                const int tenths = Percent(progress_) / 10;
                if (tenths > 0 && tenths > printedTenths_) {
                    printedTenths_ = tenths;
                    Print(out_, ProgressLine());
                }
            }
            break;
    }
}

std::string ConsoleReport::ProgressLine() const {
    if (progress_.upper <= 0) {
        return status_;
    }
    return status_ + " " + std::to_string(Percent(progress_)) + "%";
}

void ConsoleReport::DrawProgress() {
    const std::string line = ProgressLine();
    if (lineOpen_ && line == drawn_) {
        return;
    }
    // Back to the start of the line; spaces wipe what a longer text left behind.
    std::string text = "\r" + line;
    if (line.size() < drawn_.size()) {
        text.append(drawn_.size() - line.size(), ' ');
    }
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
    drawn_ = line;
    lineOpen_ = true;
}

void ConsoleReport::EndProgressLine() {
    if (lineOpen_) {
        std::fputs("\n", out_);
        std::fflush(out_);
        lineOpen_ = false;
        drawn_.clear();
    }
}

void ConsoleReport::Print(std::FILE* to, const std::string& line) {
    EndProgressLine();
    std::fputs((line + "\n").c_str(), to);
    std::fflush(to);
}

void ConsoleReport::Finish(const JobEvent::Done& done) {
    const int status = ExitStatusOf(done.result);
    const std::string message = MessageOf(done.result, strings_).value_or("");
    const std::string detail = done.detail.substr(0, done.detail.find_last_not_of("\r\n") + 1);
    if (style_ == ReportStyle::Json) {
        std::string line = R"({"event":"result","status":)" + std::to_string(status);
        line += R"(,"message":)" + JsonString(message);
        if (!detail.empty()) {
            line += R"(,"detail":)" + JsonString(detail);
        }
        Print(out_, line + "}");
    } else if (status == 0) {
        Print(out_, message);
        return;
    }
    if (status == 0) {
        return;
    }
    // A failure is said on the error stream too, where a person watching a script sees it.
    if (!message.empty()) {
        Print(err_, message);
    }
    if (!detail.empty()) {
        Print(err_, detail);
    }
}

}  // namespace norvane
