// A lost display (the X session ended, the X server went away) asks the program to stop, as
// SIGHUP does: nobody is at the window any more. GDK's own handler of a broken X connection
// ends the program at once (_exit(1), saying nothing), with the job cut off and every port
// still at the program's settings and held exclusively.
#pragma once

#include <functional>

namespace norvane::gtk {

// From now on a broken connection to the default display's X server calls `onLoss` on the
// thread that noticed it (the user-interface thread, which alone speaks to the server).
// `onLoss` must end the program itself (Xlib ends it when the handler returns) and must not
// use the display. Does nothing off X11.
void OnDisplayLost(std::function<void()> onLoss);

}  // namespace norvane::gtk
