// What norvane-console prints of one job, from the events the job posts: the texts the window
// would show, as lines. On a terminal the progress is one line redrawn in place; into a file or
// a pipe it is a plain line every tenth of the way; with --json every event is one JSON object
// on a line of its own, for scripts.
#pragma once

#include <cstdio>
#include <string>

#include "app/ProgrammerDlg.h"
#include "engine/JobEvents.h"
#include "engine/Results.h"

namespace norvane {

class MultiStrings;

enum class ReportStyle { Terminal, Lines, Json };

class ConsoleReport {
public:
    // Normal output goes to `out`; a failure's message and its second text to `err`.
    ConsoleReport(ReportStyle style, const MultiStrings& strings, std::FILE* out, std::FILE* err);

    // Any event but the last.
    void Apply(const JobEvent& event);
    // The job's end: the result's message and the second text that came with it.
    void Finish(const JobEvent::Done& done);

private:
    void OnVersion(const std::string& text);
    void OnPhase(const JobEvent::Phase& phase);
    void OnProgress();
    void OnFound(const JobEvent::Found& found);
    std::string ProgressLine() const;
    void DrawProgress();
    void EndProgressLine();
    void Print(std::FILE* to, const std::string& line);

    ReportStyle style_;
    const MultiStrings& strings_;
    std::FILE* out_;
    std::FILE* err_;

    std::string status_;
    ProgressState progress_;
    bool lineOpen_ = false;  // a terminal's progress line awaits its line feed
    std::string drawn_;
    int printedTenths_ = -1;  // plain lines: the last tenth of the way printed
};

}  // namespace norvane
