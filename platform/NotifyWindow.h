// The window the programming job reports to. The worker never touches a window: it posts
// these three messages, which the user interface applies on its own thread. A text travels
// as an owned copy, so it stays valid however late the window handles it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace norvane {

constexpr uint32_t WM_PROG_TEXT = 0x401;      // wParam: TextTarget; text: the label's new text
constexpr uint32_t WM_PROG_PROGRESS = 0x402;  // wParam: ProgressSetRange or ProgressSetPosition
constexpr uint32_t WM_PROG_DONE = 0x403;      // wParam: the job's final FlashResult

enum TextTarget : uint32_t {
    TextStatus = 0,
    TextProgramVersion = 1,
    TextDevice = 2,
    TextSerial = 3,
    // Not a label: the second, smaller text of the result box (why it went wrong, what to do).
    // The job posts it, when it has one, just before WM_PROG_DONE.
    TextResultDetail = 4,
};

enum ProgressKind : uint32_t {
    ProgressSetRange = 0,     // lParam: upper bound of the range, lower bound 0
    ProgressSetPosition = 1,  // lParam: new position
};

struct ProgMessage {
    uint32_t message = 0;
    uint32_t wParam = 0;
    int32_t lParam = 0;
    std::string text;  // WM_PROG_TEXT only
};

class NotifyWindow {
public:
    virtual ~NotifyWindow() = default;
    // Queues the message for the window's thread and returns at once.
    virtual void Post(ProgMessage message) = 0;

    void PostText(uint32_t target, std::string_view text) {
        Post({WM_PROG_TEXT, target, 0, std::string(text)});
    }
    void PostProgress(uint32_t kind, int32_t value) { Post({WM_PROG_PROGRESS, kind, value, {}}); }
    void PostDone(uint32_t flashResult) { Post({WM_PROG_DONE, flashResult, 0, {}}); }
};

}  // namespace norvane
