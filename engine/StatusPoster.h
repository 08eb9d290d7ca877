// What the engine tells the window: label texts and the progress bar. Without a window the
// posts go nowhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/NotifyWindow.h"

namespace norvane {

class StatusPoster {
public:
    void SetWindow(NotifyWindow* window) { window_ = window; }

    void PostText(uint32_t target, std::string_view text) {
        if (window_) {
            window_->PostText(target, text);
        }
    }
    void PostProgress(uint32_t kind, int32_t value) {
        if (window_) {
            window_->PostProgress(kind, value);
        }
    }
    // A new phase: its status text, then a progress bar over 0..`range` at position 0.
    void ShowPhase(std::string_view status, int32_t range) {
        PostText(TextStatus, status);
        PostProgress(ProgressSetRange, range);
        PostProgress(ProgressSetPosition, 0);
    }

    // The result box's second text for the step that ended last (empty: nothing to add); the
    // job posts it just before its result.
    void SetResultDetail(std::string detail) { resultDetail_ = std::move(detail); }
    const std::string& ResultDetail() const { return resultDetail_; }

private:
    NotifyWindow* window_ = nullptr;
    std::string resultDetail_;
};

}  // namespace norvane
