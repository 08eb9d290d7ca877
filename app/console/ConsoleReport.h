// What norvane-console prints, from the messages the job posts: the texts the window would
// show, as lines. On a terminal the progress is one line redrawn in place; into a file or a
// pipe it is a plain line every tenth of the way; with --json every event is one JSON object
// on a line of its own, for scripts.
#pragma once

#include <cstdio>
#include <string>

#include "app/ProgrammerDlg.h"
#include "engine/Results.h"
#include "platform/NotifyWindow.h"

namespace norvane {

class MultiStrings;

enum class ReportStyle { Terminal, Lines, Json };

class ConsoleReport {
public:
    // Normal output goes to `out`; a failure's message and its second text to `err`.
    ConsoleReport(ReportStyle style, const MultiStrings& strings, std::FILE* out, std::FILE* err);

    // A WM_PROG_TEXT or WM_PROG_PROGRESS message.
    void Apply(const ProgMessage& message);
    // The job's end: the result's message and the second text that came with it.
    void Finish(FlashResult result);

private:
    void OnText(uint32_t target, const std::string& text);
    void OnProgress();
    void OnFound(const std::string& device);
    void StartStatus(const std::string& status);
    std::string ProgressLine() const;
    void DrawProgress();
    void EndProgressLine();
    void Print(std::FILE* to, const std::string& line);

    ReportStyle style_;
    const MultiStrings& strings_;
    std::FILE* out_;
    std::FILE* err_;

    std::string status_;
    std::string serial_;
    std::string detail_;
    ProgressState progress_;
    bool positionKnown_ = false;  // a new phase's bar is set just after its status text
    bool lineOpen_ = false;       // a terminal's progress line awaits its line feed
    std::string drawn_;
    int printedTenths_ = -1;  // plain lines: the last tenth of the way printed
};

}  // namespace norvane
