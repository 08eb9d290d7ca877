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

// The box's top-left corner: below the main window and centred on it; above it when the work
// area has no room below; beside it (right, then left) when it has neither; and, when nothing
// fits, as low as the work area allows, so that it covers the status line before the device
// fields. The box always stays inside the work area.
ScreenPoint PlaceResultBox(const ScreenRect& mainWindow, int boxWidth, int boxHeight,
                           const ScreenRect& workArea);

}  // namespace norvane
