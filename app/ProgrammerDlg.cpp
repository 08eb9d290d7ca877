#include "app/ProgrammerDlg.h"

#include <algorithm>
#include <iostream>

#include "strings/MultiStrings.h"
#include "strings/StringIds.h"
#include "strings/VisibleText.h"

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
    job_.RequestAbort();
    job_.Join();
}

void ProgrammerDlg::Start(JobRunner runner) {
    phase_ = Phase::Running;
    job_.Start(ports_, std::move(runner));
}

void ProgrammerDlg::DispatchPending() {
    // One event at a time: a modal box opened while applying one runs a nested loop that may
    // come back here, and must find the mailbox consistent and in order.
    while (auto event = mailbox_.TryTake()) {
        Apply(*event);
    }
}

void ProgrammerDlg::Apply(const JobEvent& event) {
    if (const auto* version = std::get_if<JobEvent::Version>(&event.what)) {
        view_.SetLabel(TextProgramVersion, OneLineOf(version->text));
    } else if (const auto* phase = std::get_if<JobEvent::Phase>(&event.what)) {
        view_.SetLabel(TextStatus, OneLineOf(phase->text));
        progress_.SetRange(phase->range);
        progress_.SetPosition(phase->position);
        view_.SetProgress(progress_);
    } else if (const auto* progress = std::get_if<JobEvent::Progress>(&event.what)) {
        progress_.SetPosition(progress->position);
        view_.SetProgress(progress_);
    } else if (const auto* found = std::get_if<JobEvent::Found>(&event.what)) {
        // A device of a kind we do not know has no serial number to show. The device's bytes
        // are shown, never obeyed.
        if (found->kind != IMAGE_INVALID) {
            view_.SetLabel(TextSerial, VisibleLine(found->serial));
        }
        view_.SetLabel(TextDevice, OneLineOf(found->displayName));
    } else if (const auto* done = std::get_if<JobEvent::Done>(&event.what)) {
        OnDone(*done);
    }
}

void ProgrammerDlg::OnDone(const JobEvent::Done& done) {
    if (phase_ != Phase::Running) {
        return;
    }
    phase_ = Phase::Reporting;
    result_ = done.result;
    if (const auto text = MessageOf(done.result, strings_)) {
        const ResultBox box{*text, done.detail, CodeOf(done.result) == RC_SUCCESS};
        Report(box);
        if (!signalled_) {  // after a signal nobody is at the window to press OK
            view_.ShowResultBox(box);
        }
    }
    // The job posts this event last and returns right after it.
    job_.Join();
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
            job_.RequestAbort();
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
        job_.RequestAbort();
    }
}

int ProgrammerDlg::ExitStatus() const {
    return result_ ? ExitStatusOf(*result_) : 1;
}

}  // namespace norvane
