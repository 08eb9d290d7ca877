// A record of what the window shows, for the window tests: with NORVANE_UI_TRACE set to a
// path, the window appends one line per change (labels, progress, boxes opened and closed,
// close requests) read back from its widgets. Without the variable nothing is written.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace norvane {

class UiTrace {
public:
    // Opens the file named by NORVANE_UI_TRACE, if any.
    static UiTrace FromEnvironment();
    UiTrace() = default;
    explicit UiTrace(const std::string& path);
    ~UiTrace();
    UiTrace(UiTrace&& other) noexcept;
    UiTrace& operator=(UiTrace&&) = delete;
    UiTrace(const UiTrace&) = delete;

    bool Enabled() const { return file_ != nullptr; }
    // Writes "<event> <text>" as one line (line breaks in the text become "\n") and flushes.
    void Line(std::string_view event, std::string_view text = {});

private:
    std::FILE* file_ = nullptr;
};

}  // namespace norvane
