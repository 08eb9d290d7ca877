#include "app/console/ReportStream.h"

#include <cerrno>
#include <cstring>

namespace norvane {

void ReportStream::Write(std::string_view text) {
    errno = 0;
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0;
    if (!written && lostErrno_ == 0) {
        lostErrno_ = errno != 0 ? errno : EIO;
    }
    if (!written) {
        std::clearerr(file_);
    }
}

std::string ReportStream::LostReason() const {
    return std::strerror(lostErrno_);
}

}  // namespace norvane
