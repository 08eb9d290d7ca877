// The result box never opens over the main window, whatever room the screen leaves.
#include <gtest/gtest.h>

#include "app/ResultBoxPlacement.h"

namespace norvane {
namespace {

bool Overlap(const ScreenRect& a, const ScreenRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

TEST(ResultBoxPlacement, BelowThenAboveThenBesideTheMainWindowAndInsideTheScreen) {
    const ScreenRect screen{0, 0, 1024, 768};
    struct Case {
        ScreenRect main;
        int expectX;
        int expectY;
    };
    const Case cases[] = {
        {{350, 300, 324, 140}, 362, 448},  // centred window: below, centred under it
        {{350, 600, 324, 140}, 362, 492},  // near the bottom: above
        {{350, 50, 324, 650}, 682, 325},   // tall window: beside, on the right
        {{700, 50, 324, 650}, 392, 325},   // at the right edge: on the left
        {{-100, 20, 324, 140}, 0, 168},    // partly off screen: below, pulled inside
    };
    for (const Case& c : cases) {
        const ScreenPoint at = PlaceResultBox(c.main, 300, 100, screen);
        EXPECT_EQ(at.x, c.expectX);
        EXPECT_EQ(at.y, c.expectY);
        EXPECT_FALSE(Overlap({at.x, at.y, 300, 100}, c.main));
    }
    // No room anywhere: as low as the screen allows, over the status line, not the fields.
    const ScreenPoint at = PlaceResultBox({0, 0, 1024, 768}, 300, 100, screen);
    EXPECT_EQ(at.y, 668);
}

}  // namespace
}  // namespace norvane
