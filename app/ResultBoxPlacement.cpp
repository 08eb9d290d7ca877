#include "app/ResultBoxPlacement.h"

#include <algorithm>

namespace norvane {

ScreenPoint PlaceResultBox(const ScreenRect& mainWindow, int boxWidth, int boxHeight,
                           const ScreenRect& workArea) {
    constexpr int kGap = 8;
    const int right = workArea.x + workArea.width;
    const int bottom = workArea.y + workArea.height;
    const auto inX = [&](int x) {
        return std::clamp(x, workArea.x, std::max(workArea.x, right - boxWidth));
    };
    const auto inY = [&](int y) {
        return std::clamp(y, workArea.y, std::max(workArea.y, bottom - boxHeight));
    };

    const int centredX = mainWindow.x + (mainWindow.width - boxWidth) / 2;
    const int below = mainWindow.y + mainWindow.height + kGap;
    if (below + boxHeight <= bottom) {
        return {inX(centredX), below};
    }
    const int above = mainWindow.y - kGap - boxHeight;
    if (above >= workArea.y) {
        return {inX(centredX), above};
    }
    const int centredY = mainWindow.y + (mainWindow.height - boxHeight) / 2;
    const int besideRight = mainWindow.x + mainWindow.width + kGap;
    if (besideRight + boxWidth <= right) {
        return {besideRight, inY(centredY)};
    }
    const int besideLeft = mainWindow.x - kGap - boxWidth;
    if (besideLeft >= workArea.x) {
        return {besideLeft, inY(centredY)};
    }
    return {inX(centredX), inY(below)};
}

}  // namespace norvane
