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
        const ResultBoxPlace at = PlaceResultBox(c.main, 300, 100, screen);
        EXPECT_EQ(at.box.x, c.expectX);
        EXPECT_EQ(at.box.y, c.expectY);
        EXPECT_EQ(at.mainWindow.x, c.main.x);  // the window stays where it is
        EXPECT_EQ(at.mainWindow.y, c.main.y);
        EXPECT_FALSE(Overlap({at.box.x, at.box.y, 300, 100}, c.main));
    }
    // No room anywhere: as low as the screen allows, over the status line, not the fields.
    const ResultBoxPlace at = PlaceResultBox({0, 0, 1024, 768}, 300, 100, screen);
    EXPECT_EQ(at.box.y, 668);
}

// A box with a long second paragraph on a small screen: no room around the centred window, so
// the window moves up just enough for the box to fit below it.
TEST(ResultBoxPlacement, MovesTheMainWindowWhenTheBoxFitsNowhereAroundIt) {
    const ScreenRect screen{0, 0, 640, 480};
    const ScreenRect main{129, 170, 382, 139};
    const ResultBoxPlace at = PlaceResultBox(main, 294, 205, screen);
    EXPECT_EQ(at.mainWindow.x, 129);
    EXPECT_EQ(at.mainWindow.y, 128);
    EXPECT_EQ(at.box.x, 173);
    EXPECT_EQ(at.box.y, 275);
    EXPECT_FALSE(Overlap({at.box.x, at.box.y, 294, 205}, {129, 128, 382, 139}));
}

}  // namespace
}  // namespace norvane
