// The window the programming job reports to, on Win32: the three messages are posted to the
// dialog with PostMessage. A WM_PROG_TEXT carries a heap copy of its text in lParam, which the
// dialog frees with FreePostedText once it has set the label.
#pragma once

#include "platform/NotifyWindow.h"
#include "platform/Win32.h"

namespace norvane {

class Win32NotifyWindow final : public NotifyWindow {
public:
    explicit Win32NotifyWindow(HWND window) : window_(window) {}
    void Post(ProgMessage message) override;

private:
    HWND window_;
};

// The text of a WM_PROG_TEXT message.
inline const char* PostedText(LPARAM lParam) {
    return reinterpret_cast<const char*>(lParam);
}
// Frees the text of a WM_PROG_TEXT message once it has been handled.
void FreePostedText(LPARAM lParam);

}  // namespace norvane
