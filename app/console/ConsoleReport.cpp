#include "app/console/ConsoleReport.h"

#include <cctype>

#include "app/console/JsonText.h"
#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {
namespace {

// The port a "Device detected on COMn" status names ("COM" and its digits), or "".
std::string PortNamed(const std::string& status) {
    for (size_t at = status.find("COM"); at != std::string::npos; at = status.find("COM", at + 1)) {
        size_t end = at + 3;
        while (end < status.size() && std::isdigit(static_cast<unsigned char>(status[end]))) {
            ++end;
        }
        if (end > at + 3) {
            return status.substr(at, end - at);
        }
    }
    return "";
}

int Percent(const ProgressState& progress) {
    return static_cast<int>(progress.Fraction() * 100.0);
}

}  // namespace

ConsoleReport::ConsoleReport(ReportStyle style, const MultiStrings& strings, std::FILE* out,
                             std::FILE* err)
    : style_(style), strings_(strings), out_(out), err_(err) {}

void ConsoleReport::Apply(const ProgMessage& message) {
    if (message.message == WM_PROG_TEXT) {
        OnText(message.wParam, message.text);
    } else if (message.message == WM_PROG_PROGRESS) {
        if (message.wParam == ProgressSetRange) {
            progress_.SetRange(message.lParam);
        } else if (message.wParam == ProgressSetPosition) {
            progress_.SetPosition(message.lParam);
        } else {
            return;
        }
        positionKnown_ = true;
        OnProgress();
    }
}

void ConsoleReport::OnText(uint32_t target, const std::string& text) {
    switch (target) {
        case TextStatus:
            StartStatus(OneLineOf(text));
            break;
        case TextProgramVersion:
            if (style_ == ReportStyle::Json) {
                Print(out_, R"({"event":"version","text":)" + JsonString(OneLineOf(text)) + "}");
            } else {
                Print(out_,
                      std::string(strings_.Text(IDS_PROGRAM_VERSION)) + ": " + OneLineOf(text));
            }
            break;
        case TextSerial:
            serial_ = OneLineOf(text);  // the device's name follows it
            break;
        case TextDevice:
            OnFound(OneLineOf(text));
            break;
        case TextResultDetail:
            detail_ = text.substr(0, text.find_last_not_of("\r\n") + 1);
            break;
        default:
            break;
    }
}

void ConsoleReport::OnFound(const std::string& device) {
    if (style_ == ReportStyle::Json) {
        std::string line = R"({"event":"found")";
        if (const std::string port = PortNamed(status_); !port.empty()) {
            line += R"(,"port":)" + JsonString(port);
        }
        line += R"(,"device":)" + JsonString(device);
        if (!serial_.empty()) {
            line += R"(,"serial":)" + JsonString(serial_);
        }
        Print(out_, line + "}");
        return;
    }
    Print(out_, std::string(strings_.Text(IDS_DEVICE)) + ": " + device);
    if (!serial_.empty()) {
        Print(out_, std::string(strings_.Text(IDS_SERIAL_NUMBER)) + ": " + serial_);
    }
}

void ConsoleReport::StartStatus(const std::string& status) {
    status_ = status;
    printedTenths_ = -1;
    positionKnown_ = false;
    if (style_ == ReportStyle::Json) {
        Print(out_, R"({"event":"phase","text":)" + JsonString(status) + "}");
        return;
    }
    EndProgressLine();
    if (style_ == ReportStyle::Lines) {
        Print(out_, status);
    } else {
        DrawProgress();
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
    if (!positionKnown_ || progress_.upper <= 0) {
        return status_;  // no percentage left over from the phase before
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

void ConsoleReport::Finish(FlashResult result) {
    const int status = ExitStatusOf(result);
    const std::string message = MessageOf(result, strings_).value_or("");
    if (style_ == ReportStyle::Json) {
        std::string line = R"({"event":"result","status":)" + std::to_string(status);
        line += R"(,"message":)" + JsonString(message);
        if (!detail_.empty()) {
            line += R"(,"detail":)" + JsonString(detail_);
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
    if (!detail_.empty()) {
        Print(err_, detail_);
    }
}

}  // namespace norvane
