#include "app/gtk/DisplayLoss_gtk.h"

#include <gdk/gdk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif
#include <unistd.h>

#include <atomic>

#include "serial/PortLineRegistry.h"

namespace norvane::gtk {
namespace {

// The status of "Programming interrupted", the result a lost display asks for.
constexpr int kExitInterrupted = 18;

std::function<void()>& LossHandler() {
    static std::function<void()> handler;
    return handler;
}

#ifdef GDK_WINDOWING_X11
int OnBrokenConnection(Display*) {
    static std::atomic<bool> entered{false};
    if (entered.exchange(true)) {
        // Something spoke to the dead server again while stopping: end as a second stop
        // signal does, the lines put back.
        RestoreAllPortLines();
        _exit(kExitInterrupted);
    }
    LossHandler()();
    _exit(kExitInterrupted);  // `onLoss` ends the program; never let Xlib's exit(1) do it
}
#endif

}  // namespace

void OnDisplayLost(std::function<void()> onLoss) {
#ifdef GDK_WINDOWING_X11
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) {
        return;
    }
    LossHandler() = std::move(onLoss);
    // Process-wide, and in place of GDK's, which GDK installed when it opened the display.
    XSetIOErrorHandler(OnBrokenConnection);
#else
    (void)onLoss;
#endif
}

}  // namespace norvane::gtk
