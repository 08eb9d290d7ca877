#include "app/ProgrammerDlg.h"

#include <algorithm>
#include <iostream>

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"

namespace norvane {

void ProgressState::SetRange(int32_t newUpper) {
    upper = std::max(newUpper, 0);
    position = std::clamp(position, 0, upper);
}

void ProgressState::SetPosition(int32_t newPosition) {
    position = std::clamp(newPosition, 0, upper);
}

double ProgressState::Fraction() const {
    return upper > 0 ? static_cast<double>(position) / upper : 0.0;
}

DialogTexts DialogTextsFrom(const MultiStrings& strings) {
    return {
        strings.Text(IDS_CAPTION),         strings.Text(IDS_STATUS),
        strings.Text(IDS_PROGRAM_VERSION), strings.Text(IDS_DEVICE),
        strings.Text(IDS_SERIAL_NUMBER),   strings.Text(IDS_ABOUT_ITEM),
    };
}

std::string OneLineOf(std::string_view text) {
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}

int ExitStatusOf(FlashResult result) {
    const auto id = MessageIdOf(result);
    if (!id) {
        return 1;
    }
    return *id == IDS_PROGRAMMED_OK ? 0 : *id;
}

ProgrammerDlg::ProgrammerDlg(DialogView& view, const MultiStrings& strings, AboutLines about,
                             std::ostream& report)
    : view_(view), strings_(strings), about_(std::move(about)), report_(report) {}

ProgrammerDlg::~ProgrammerDlg() {
    // A window torn down early still never leaves the job running behind it.
    abortFlag_ = 1;
    JoinWorker();
}

void ProgrammerDlg::Start(JobRunner runner) {
    abortFlag_ = 0;
    phase_ = Phase::Running;
    auto* start = new JobStart{this, &abortFlag_};  // the job deletes it
    worker_ = std::thread([runner = std::move(runner), start] { runner(start); });
}

void ProgrammerDlg::Post(ProgMessage message) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(message));
    }
    if (wake_) {
        wake_();
    }
}

void ProgrammerDlg::DispatchPending() {
    // One message at a time: a modal box opened while applying one runs a nested loop that
    // may come back here, and must find the queue consistent and in order.
    for (;;) {
        ProgMessage message;
        {
            std::lock_guard lock(queueMutex_);
            if (queue_.empty()) {
                return;
            }
            message = std::move(queue_.front());
            queue_.pop_front();
        }
        Apply(message);
    }
}

void ProgrammerDlg::Apply(const ProgMessage& message) {
    switch (message.message) {
        case WM_PROG_TEXT:
            if (message.wParam <= TextSerial) {
                view_.SetLabel(message.wParam, OneLineOf(message.text));
            } else if (message.wParam == TextResultDetail) {
                resultDetail_ = message.text;
            }
            break;
        case WM_PROG_PROGRESS:
            if (message.wParam == ProgressSetRange) {
                progress_.SetRange(message.lParam);
                view_.SetProgress(progress_);
            } else if (message.wParam == ProgressSetPosition) {
                progress_.SetPosition(message.lParam);
                view_.SetProgress(progress_);
            }
            break;
        case WM_PROG_DONE:
            OnDone(message.wParam);
            break;
        default:
            break;
    }
}

void ProgrammerDlg::OnDone(FlashResult result) {
    if (phase_ != Phase::Running) {
        return;
    }
    phase_ = Phase::Reporting;
    result_ = result;
    if (const auto text = MessageOf(result, strings_)) {
        const ResultBox box{*text, resultDetail_, CodeOf(result) == RC_SUCCESS};
        Report(box);
        if (!signalled_) {  // after a signal nobody is at the window to press OK
            view_.ShowResultBox(box);
        }
    }
    // The worker posts this message last and returns right after it.
    JoinWorker();
    phase_ = Phase::Closed;
    view_.CloseWindow();
}

void ProgrammerDlg::Report(const ResultBox& box) {
    report_ << "norvane: " << box.message << '\n';
    std::string_view rest = box.detail;
    while (!rest.empty()) {
        const std::string line = OneLineOf(rest);
        if (!line.empty()) {
            report_ << "norvane: " << line << '\n';
        }
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    }
    report_.flush();
}

bool ProgrammerDlg::OnCloseRequest() {
    switch (phase_) {
        case Phase::Running:
            abortFlag_ = 1;
            return false;
        case Phase::Reporting:
            return false;  // the window closes by itself once the box is dismissed
        case Phase::Idle:
        case Phase::Closed:
            return true;
    }
    return true;
}

bool ProgrammerDlg::OnKey(DialogKey key) {
    switch (key) {
        case DialogKey::Escape:
        case DialogKey::AltF4:
            if (OnCloseRequest()) {
                view_.CloseWindow();
            }
            return true;
        case DialogKey::Enter:
            return true;  // there is no default button: Enter does nothing at all
        case DialogKey::Help:
            OnAbout();
            return true;
        case DialogKey::Other:
            return false;
    }
    return false;
}

void ProgrammerDlg::OnAbout() {
    if (aboutOpen_ || phase_ == Phase::Reporting || phase_ == Phase::Closed) {
        return;
    }
    aboutOpen_ = true;
    view_.ShowAboutBox(about_);
    aboutOpen_ = false;
}

void ProgrammerDlg::OnSignal() {
    signalled_ = true;
    if (phase_ == Phase::Running) {
        abortFlag_ = 1;
    }
}

int ProgrammerDlg::ExitStatus() const {
    return result_ ? ExitStatusOf(*result_) : 1;
}

void ProgrammerDlg::JoinWorker() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

}  // namespace norvane
