// Where the result box opens: never over the main window, whose device fields the user reads
// together with the result. Both toolkits place their box by this rule.
#pragma once

namespace norvane {

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

struct ResultBoxPlace {
    ScreenPoint box;         // the box's top-left corner
    ScreenPoint mainWindow;  // the main window's: where it stands, unless it made room
};

// The box goes below the main window and centred on it; above it when the work area has no
// room below; beside it (right, then left) when it has neither. A box too big for the room
// left around the window where it stands (a long second paragraph on a small screen) moves the
// window, by as little as it takes, to make room for it in the work area. Only when the work
// area cannot hold both does the box go as low as the work area allows, so that it covers the
// status line before the device fields. The box always stays inside the work area.
ResultBoxPlace PlaceResultBox(const ScreenRect& mainWindow, int boxWidth, int boxHeight,
                              const ScreenRect& workArea);

}  // namespace norvane
