#include "platform/NotifyWindow_win32.h"

#include <cstdlib>
#include <cstring>

namespace norvane {

void Win32NotifyWindow::Post(ProgMessage message) {
    if (message.message != WM_PROG_TEXT) {
        PostMessageA(window_, message.message, message.wParam, static_cast<LPARAM>(message.lParam));
        return;
    }
    // The copy lives until the dialog has handled the message, however late that is.
    char* copy = static_cast<char*>(std::malloc(message.text.size() + 1));
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, message.text.c_str(), message.text.size() + 1);
    if (!PostMessageA(window_, WM_PROG_TEXT, message.wParam, reinterpret_cast<LPARAM>(copy))) {
        std::free(copy);  // the window is gone: nobody will free it
    }
}

void FreePostedText(LPARAM lParam) {
    std::free(reinterpret_cast<char*>(lParam));
}

}  // namespace norvane
