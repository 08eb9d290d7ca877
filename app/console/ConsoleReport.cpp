#include "app/console/ConsoleReport.h"

#include <algorithm>

#include "app/console/JsonText.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"
#include "strings/VisibleText.h"

namespace norvane {
namespace {

int Percent(const ProgressState& progress) {
    return static_cast<int>(progress.Fraction() * 100.0);
}

}  // namespace

std::string FitToColumns(const std::string& line, int columns) {
    if (columns <= 1) {
        return line;
    }
    // Every byte that does not continue a UTF-8 sequence starts a column.
    size_t shown = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 && ++shown == size_t(columns)) {
            return line.substr(0, i);
        }
    }
    return line;
}

ConsoleReport::ConsoleReport(ReportStyle style, const MultiStrings& strings, ReportStream& out,
                             ReportStream& err, int columns, ReportTag tag)
    : style_(style),
      strings_(strings),
      out_(out),
      err_(err),
      columns_(columns),
      tag_(std::move(tag)) {}

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
        Print(out_, JsonEvent("version") + R"(,"text":)" + JsonString(text) + "}");
    } else {
        Print(out_, std::string(strings_.Text(IDS_PROGRAM_VERSION)) + ": " + text);
    }
}

void ConsoleReport::CompletePhase() {
    if (progress_.upper <= 0 || progress_.position == progress_.upper || status_.empty()) {
        return;
    }
    progress_.SetPosition(progress_.upper);
    if (style_ == ReportStyle::Terminal && lineOpen_) {
        DrawProgress();
    } else if (style_ == ReportStyle::Lines) {
        Print(out_, ProgressLine());
    }
}

void ConsoleReport::OnPhase(const JobEvent::Phase& phase) {
    // A bar that goes on (the second region of one stream) leaves the line before as it stood.
    if (phase.position == 0) {
        CompletePhase();
    }
    status_ = OneLineOf(phase.text);
    printedTenths_ = -1;
    progress_.SetRange(phase.range);
    progress_.SetPosition(phase.position);
    switch (style_) {
        case ReportStyle::Json:
            Print(out_, JsonEvent("phase") + R"(,"text":)" + JsonString(status_) + "}");
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
    const bool knownKind = found.kind != IMAGE_INVALID;
    if (style_ == ReportStyle::Json) {
        const std::string serial = found.serial.substr(0, found.serial.find_first_of("\r\n"));
        std::string line = JsonEvent("found");
        if (tag_.jsonFields.empty()) {  // a station's tag names the port already
            line += R"(,"port":)" + JsonString("COM" + std::to_string(found.port));
            if (!found.path.empty()) {
                line += R"(,"path":)" + JsonString(found.path);
            }
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
        Print(out_,
              std::string(strings_.Text(IDS_SERIAL_NUMBER)) + ": " + VisibleLine(found.serial));
    }
}

void ConsoleReport::OnProgress() {
    switch (style_) {
        case ReportStyle::Json:
            Print(out_, JsonEvent("progress") + R"(,"position":)" +
                            std::to_string(progress_.position) + R"(,"range":)" +
                            std::to_string(progress_.upper) + "}");
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
    // A line wider than the terminal would wrap, and every redraw would start a new one.
    const std::string line = FitToColumns(ProgressLine(), columns_);
    if (lineOpen_ && line == drawn_) {
        return;
    }
    // Back to the start of the line; spaces wipe what a longer text left behind.
    std::string text = "\r" + line;
    if (line.size() < drawn_.size()) {
        text.append(drawn_.size() - line.size(), ' ');
    }
    out_.Write(text);
    drawn_ = line;
    lineOpen_ = true;
}

void ConsoleReport::EndProgressLine() {
    if (lineOpen_) {
        out_.Write("\n");
        lineOpen_ = false;
        drawn_.clear();
    }
}

void ConsoleReport::Print(ReportStream& to, const std::string& line) {
    EndProgressLine();
    // JSON objects carry the tag in their fields; the error stream's lines are plain text.
    const bool jsonObject = style_ == ReportStyle::Json && &to == &out_;
    if (jsonObject || tag_.prefix.empty()) {
        to.Write(line + "\n");
        return;
    }
    // Every line of a text of several (a second text) is led by the prefix.
    std::string text;
    for (size_t at = 0; at <= line.size();) {
        const size_t end = std::min(line.find('\n', at), line.size());
        text += tag_.prefix + line.substr(at, end - at) + "\n";
        at = end + 1;
    }
    to.Write(text);
}

std::string ConsoleReport::JsonEvent(const char* name) const {
    return std::string(R"({"event":")") + name + "\"" + tag_.jsonFields;
}

void ConsoleReport::Finish(const JobEvent::Done& done) {
    const int status = ExitStatusOf(done.result);
    const std::string message = MessageOf(done.result, strings_).value_or("");
    const std::string detail = done.detail.substr(0, done.detail.find_last_not_of("\r\n") + 1);
    if (status == 0) {
        CompletePhase();
    }
    if (style_ == ReportStyle::Json) {
        std::string line = JsonEvent("result") + R"(,"status":)" + std::to_string(status);
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
