// What norvane-console prints of one job, from the events the job posts: the texts the window
// would show, as lines. On a terminal the progress is one line redrawn in place, never wider
// than the terminal; into a file or a pipe it is a plain line every tenth of the way; with
// --json every event is one JSON object on a line of its own, for scripts. What came from the
// device is shown with its control bytes made visible.
#pragma once

#include <string>

#include "app/ProgrammerDlg.h"
#include "app/console/ReportStream.h"
#include "engine/JobEvents.h"
#include "engine/Results.h"

namespace norvane {

class MultiStrings;

enum class ReportStyle { Terminal, Lines, Json };

// Whom the lines are about when several jobs share the outputs (a station): each plain line
// starts with `prefix` ("COM2: "), each JSON object carries `jsonFields` (`,"port":"COM2",...`)
// right after its event name.
struct ReportTag {
    std::string prefix;
    std::string jsonFields;
};

class ConsoleReport {
public:
    // Normal output goes to `out`; a failure's message and its second text to `err`. On a
    // terminal, `columns` is its width (0: unknown).
    ConsoleReport(ReportStyle style, const MultiStrings& strings, ReportStream& out,
                  ReportStream& err, int columns = 0, ReportTag tag = {});

    // Any event but the last.
    void Apply(const JobEvent& event);
    // The job's end: the result's message and the second text that came with it.
    void Finish(const JobEvent::Done& done);

private:
    void OnVersion(const std::string& text);
    void OnPhase(const JobEvent::Phase& phase);
    void OnProgress();
    void OnFound(const JobEvent::Found& found);
    // A phase that gave way to the next, or to success, ended complete: its last line says so.
    void CompletePhase();
    std::string ProgressLine() const;
    void DrawProgress();
    void EndProgressLine();
    void Print(ReportStream& to, const std::string& line);
    // `{"event":"<name>"` and the tag's fields: the start of every JSON line.
    std::string JsonEvent(const char* name) const;

    ReportStyle style_;
    const MultiStrings& strings_;
    ReportStream& out_;
    ReportStream& err_;
    int columns_;
    ReportTag tag_;

    std::string status_;
    ProgressState progress_;
    bool lineOpen_ = false;  // a terminal's progress line awaits its line feed
    std::string drawn_;
    int printedTenths_ = -1;  // plain lines: the last tenth of the way printed
};

// `line` cut to fit `columns` terminal columns with room for the cursor (one column a code
// point); as it is when `columns` is 0.
std::string FitToColumns(const std::string& line, int columns);

}  // namespace norvane
