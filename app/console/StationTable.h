// The station's live table on a terminal: one line per port under a heading, redrawn in place
// (the cursor moves back up over it), every line cut to the terminal's width so that none
// wraps. Lines that stay (a device's result) are printed above it and the table is drawn
// again below them.
#pragma once

#include <string>
#include <vector>

#include "app/console/ReportStream.h"

namespace norvane {

class StationTable {
public:
    explicit StationTable(ReportStream& out) : out_(out) {}

    // The table's rows (cells of equal count; the first row is the heading), each column as
    // wide as its widest cell; shown at the next Draw.
    void SetRows(const std::vector<std::vector<std::string>>& rows);
    // Draws the rows over the table drawn before.
    void Draw();
    // Takes the table off the screen, prints `text` (whole lines) to `to`, and draws the table
    // again below it.
    void PrintAbove(ReportStream& to, const std::string& text);

private:
    void Erase();

    ReportStream& out_;
    std::vector<std::string> lines_;
    size_t drawn_ = 0;  // lines of the table now on the screen, above the cursor
};

// Code points in `text`: the columns it takes on a terminal, near enough.
size_t ColumnsOf(const std::string& text);

}  // namespace norvane
