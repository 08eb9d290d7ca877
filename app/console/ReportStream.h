// One of the console's outputs (standard output, standard error, a log file), remembering
// whether anything written to it was lost. A full disk or a closed pipe must not pass in
// silence: the run then says so on standard error and ends with kExitReportLost, so that a
// script never takes a report it did not get for a success.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace norvane {

// EX_IOERR of <sysexits.h>: the outcome could not be reported where it was asked for.
constexpr int kExitReportLost = 74;

class ReportStream {
public:
    explicit ReportStream(std::FILE* file) : file_(file) {}

    // Writes `text` and flushes it at once (a person or a script is watching).
    void Write(std::string_view text);
    bool Lost() const { return lostErrno_ != 0; }
    // The system's reason for the first loss.
    std::string LostReason() const;
    std::FILE* File() const { return file_; }

private:
    std::FILE* file_;
    int lostErrno_ = 0;
};

}  // namespace norvane
