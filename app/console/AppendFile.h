// A file that whole lines are appended to, for the production log: each line in one write on
// a file opened for appending, then flushed to the disk before the call returns. After a power
// cut or a kill every line in the file is whole, and every line the program went on past is
// there. Lines from several programs appending to the same file never mix.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norvane {

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `path` for appending, creating it when needed; the system's reason on failure.
    std::optional<std::string> Open(const std::string& path);
    bool IsOpen() const;
    // Writes `line` (with its line feed) in one write and flushes it to the disk; the system's
    // reason when either failed.
    std::optional<std::string> Append(std::string_view line);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// This machine's name, for the log; empty when the system does not say.
std::string HostName();

}  // namespace norvane
