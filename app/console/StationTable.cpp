#include "app/console/StationTable.h"

#include <algorithm>

#include "app/console/ConsoleOutput.h"
#include "app/console/ConsoleReport.h"

namespace norvane {

size_t ColumnsOf(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void StationTable::SetRows(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], ColumnsOf(row[i]));
        }
    }
    lines_.clear();
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - ColumnsOf(row[i]) + 2, ' ');
            }
        }
        lines_.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
    }
}

void StationTable::Erase() {
    if (drawn_ > 0) {
        // Up to the table's first line, then clear from there to the end of the screen.
        out_.Write("\x1b[" + std::to_string(drawn_) + "A\r\x1b[J");
        drawn_ = 0;
    }
}

void StationTable::Draw() {
    const int columns = TerminalColumns();
    std::string text;
    if (drawn_ > 0) {
        text = "\x1b[" + std::to_string(drawn_) + "A";
    }
    for (const std::string& line : lines_) {
        // Each line cleared to its end: a shorter text leaves nothing of the longer one.
        text += '\r';
        text += FitToColumns(line, columns);
        text += "\x1b[K\n";
    }
    if (lines_.size() < drawn_) {
        text += "\x1b[J";
    }
    out_.Write(text);
    drawn_ = lines_.size();
}

void StationTable::PrintAbove(ReportStream& to, const std::string& text) {
    Erase();
    to.Write(text);
    Draw();
}

}  // namespace norvane
