// POSIX: O_APPEND puts every write at the end at once, even with other writers; fsync makes it
// durable.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/console/AppendFile.h"

namespace norvane {

AppendFile::~AppendFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::optional<std::string> AppendFile::Open(const std::string& path) {
    fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

bool AppendFile::IsOpen() const {
    return fd_ >= 0;
}

std::optional<std::string> AppendFile::Append(std::string_view line) {
    ssize_t written;
    do {
        written = write(fd_, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        return std::string(std::strerror(errno));
    }
    if (static_cast<size_t>(written) != line.size()) {
        // A regular file takes a short write only when the disk is full; the part that went
        // in is a broken line the reader must skip, but nothing after it is lost in silence.
        return std::string(std::strerror(ENOSPC));
    }
    if (fsync(fd_) != 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

}  // namespace norvane
