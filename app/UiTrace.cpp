#include "app/UiTrace.h"

#include <cstdlib>
#include <utility>

namespace norvane {

UiTrace UiTrace::FromEnvironment() {
    const char* path = std::getenv("NORVANE_UI_TRACE");
    if (path == nullptr || *path == '\0') {
        return UiTrace();
    }
    return UiTrace(path);
}

UiTrace::UiTrace(const std::string& path) : file_(std::fopen(path.c_str(), "a")) {}

UiTrace::~UiTrace() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

UiTrace::UiTrace(UiTrace&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}

void UiTrace::Line(std::string_view event, std::string_view text) {
    if (file_ == nullptr) {
        return;
    }
    std::string line(event);
    if (!text.empty()) {
        line += ' ';
        for (const char c : text) {
            if (c == '\n') {
                line += "\\n";
            } else {
                line += c;
            }
        }
    }
    line += '\n';
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
}

}  // namespace norvane
