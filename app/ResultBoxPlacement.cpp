#include "app/ResultBoxPlacement.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace norvane {
namespace {

constexpr int kGap = 8;

int RightOf(const ScreenRect& r) {
    return r.x + r.width;
}
int BottomOf(const ScreenRect& r) {
    return r.y + r.height;
}

// A box corner pulled inside the work area.
ScreenPoint Inside(ScreenPoint at, int boxWidth, int boxHeight, const ScreenRect& work) {
    return {std::clamp(at.x, work.x, std::max(work.x, RightOf(work) - boxWidth)),
            std::clamp(at.y, work.y, std::max(work.y, BottomOf(work) - boxHeight))};
}

// The box's corner clear of the main window where it stands, if there is room for it.
std::optional<ScreenPoint> ClearOf(const ScreenRect& mainWindow, int boxWidth, int boxHeight,
                                   const ScreenRect& work) {
    const int centredX = mainWindow.x + (mainWindow.width - boxWidth) / 2;
    const int below = BottomOf(mainWindow) + kGap;
    if (below + boxHeight <= BottomOf(work)) {
        return Inside({centredX, below}, boxWidth, boxHeight, work);
    }
    const int above = mainWindow.y - kGap - boxHeight;
    if (above >= work.y) {
        return Inside({centredX, above}, boxWidth, boxHeight, work);
    }
    const int centredY = mainWindow.y + (mainWindow.height - boxHeight) / 2;
    const int besideRight = RightOf(mainWindow) + kGap;
    if (besideRight + boxWidth <= RightOf(work)) {
        return Inside({besideRight, centredY}, boxWidth, boxHeight, work);
    }
    const int besideLeft = mainWindow.x - kGap - boxWidth;
    if (besideLeft >= work.x) {
        return Inside({besideLeft, centredY}, boxWidth, boxHeight, work);
    }
    return std::nullopt;
}

// Of the two positions that make room, one on each side, the nearer to where the window is.
int Nearer(int now, int oneWay, int otherWay) {
    return std::abs(oneWay - now) <= std::abs(otherWay - now) ? oneWay : otherWay;
}

}  // namespace

ResultBoxPlace PlaceResultBox(const ScreenRect& mainWindow, int boxWidth, int boxHeight,
                              const ScreenRect& workArea) {
    if (const auto at = ClearOf(mainWindow, boxWidth, boxHeight, workArea)) {
        return {*at, {mainWindow.x, mainWindow.y}};
    }
    ScreenRect moved = mainWindow;
    if (mainWindow.height + kGap + boxHeight <= workArea.height) {
        // Up until the box fits below, or down until it fits above.
        moved.y = Nearer(mainWindow.y, BottomOf(workArea) - boxHeight - kGap - mainWindow.height,
                         workArea.y + boxHeight + kGap);
    } else if (mainWindow.width + kGap + boxWidth <= workArea.width) {
        moved.x = Nearer(mainWindow.x, RightOf(workArea) - boxWidth - kGap - mainWindow.width,
                         workArea.x + boxWidth + kGap);
    }
    if (const auto at = ClearOf(moved, boxWidth, boxHeight, workArea)) {
        return {*at, {moved.x, moved.y}};
    }
    const ScreenPoint centredBelow{mainWindow.x + (mainWindow.width - boxWidth) / 2,
                                   BottomOf(mainWindow) + kGap};
    return {Inside(centredBelow, boxWidth, boxHeight, workArea), {mainWindow.x, mainWindow.y}};
}

}  // namespace norvane
