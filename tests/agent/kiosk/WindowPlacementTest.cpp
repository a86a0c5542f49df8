#include "agent/kiosk/WindowPlacement.h"

#include <gtest/gtest.h>

#include <limits>

namespace ko {
namespace {

const PlacementScreen kScreen{{0, 0, 1024, 738}, {15, 15}, {32767, 32767}};
// 400 x 300 pixels asked on 15 twips per pixel: 6080 x 4550 twips.
const TwipsSize kAsked{6080, 4550};

TEST(WindowPlacement, TheNineWordsPlaceInTheWorkAreaAndAnythingElseIsBottomRight) {
    struct Case {
        std::string word;
        std::int32_t left;
        std::int32_t top;
    };
    // 405 x 303 pixels in a work area of 1024 x 738.
    const Case cases[] = {{"top-left", 0, 0},
                          {"top-center", 309, 0},
                          {"top-right", 619, 0},
                          {"middle-left", 0, 217},
                          {"middle-center", 309, 217},
                          {"middle-right", 619, 217},
                          {"bottom-left", 0, 435},
                          {"bottom-center", 309, 435},
                          {"bottom-right", 619, 435},
                          {"TOP-Left", 0, 0},
                          {"", 619, 435},
                          {"center", 619, 435},
                          {"middle center", 619, 435},
                          {"-", 619, 435}};
    for (const Case& c : cases) {
        EXPECT_EQ(WindowPlacement::Place(kScreen, kAsked, c.word),
                  (PixelRect{c.left, c.top, 405, 303}))
            << "'" << c.word << "'";
    }
}

TEST(WindowPlacement, MiddleAndCenterHalveOriginPlusExtentSoATopOrLeftTaskbarShiftsThem) {
    // A taskbar of 30 pixels at the top: the middle sits 15 pixels above the true middle.
    PlacementScreen topBar{{0, 30, 1024, 738}, {15, 15}, {32767, 32767}};
    PixelRect rect = WindowPlacement::Place(topBar, kAsked, "middle-center");
    EXPECT_EQ(rect.top, (738 + 30) / 2 - 152);
    EXPECT_EQ(rect.top, 30 + 738 / 2 - 152 - 15);
    // A taskbar of 60 pixels on the left: the center sits 30 pixels left of the true center.
    PlacementScreen leftBar{{60, 0, 964, 768}, {15, 15}, {32767, 32767}};
    rect = WindowPlacement::Place(leftBar, kAsked, "top-center");
    EXPECT_EQ(rect.left, 309);
    EXPECT_EQ(WindowPlacement::Place(leftBar, kAsked, "top-left").left, 60);
    EXPECT_EQ(WindowPlacement::Place(leftBar, kAsked, "top-right").left, 60 + 964 - 405);
}

TEST(WindowPlacement, TheMainWindowTakesMinusOneAsTheWorkAreaAndZeroAsNoRequest) {
    const TwipsSize current{3000, 2000};
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, -1, -1), (TwipsSize{15360, 11070}));
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, 0, 0), current);
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, 400, 300), kAsked);
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, 400, 0), (TwipsSize{6080, 2000}));
    // Only -1 means the work area for the main window: -2 is -2 x 15 + 80 twips, a sliver of
    // 3 pixels; -10 is a negative size, which no window system takes, so the current one stays.
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, -2, 300), (TwipsSize{50, 4550}));
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, -10, -10), current);
}

TEST(WindowPlacement, ADialogTakesAnyNegativeAsTheWorkAreaAndZeroAsItsDefault) {
    const TwipsSize defaults{9300, 7100};
    const TwipsSize current{1, 1};
    EXPECT_EQ(WindowPlacement::DialogSize(kScreen, current, defaults, 0, 0), defaults);
    EXPECT_EQ(WindowPlacement::DialogSize(kScreen, current, defaults, -2, -7),
              (TwipsSize{15360, 11070}));
    EXPECT_EQ(WindowPlacement::DialogSize(kScreen, current, defaults, 400, 300), kAsked);
    // Without layout values the history dialog is 620 x 473 pixels at the bottom right.
    EXPECT_EQ(WindowPlacement::Place(kScreen, defaults, ""), (PixelRect{404, 265, 620, 473}));
}

TEST(WindowPlacement, TwelveTwipsPerPixelConvertsBothWays) {
    PlacementScreen large{{0, 0, 1280, 994}, {12, 12}, {32767, 32767}};
    const TwipsSize size = WindowPlacement::MainSize(large, {}, 400, 300);
    EXPECT_EQ(size, (TwipsSize{400 * 12 + 80, 300 * 12 + 50}));
    EXPECT_EQ(WindowPlacement::Place(large, size, "top-left"), (PixelRect{0, 0, 407, 304}));
    EXPECT_EQ(WindowPlacement::MainSize(large, {}, -1, -1), (TwipsSize{1280 * 12, 994 * 12}));
}

TEST(WindowPlacement, HugeRequestsNeitherWrapNorReachTheWindowSystem) {
    const TwipsSize current{3000, 2000};
    const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
    // 2^31 pixels x 15 twips would wrap 32 bits; the size is refused and the current one stays.
    EXPECT_EQ(WindowPlacement::MainSize(kScreen, current, huge, huge), current);
    EXPECT_EQ(WindowPlacement::DialogSize(kScreen, current, {4000, 2400}, huge, 300),
              (TwipsSize{3000, 4550}));
    EXPECT_EQ(
        WindowPlacement::MainSize(kScreen, current, std::numeric_limits<std::int32_t>::min(), 0),
        current);
    // Just at the system's limit is fine, one pixel more is not.
    PlacementScreen small{{0, 0, 1024, 738}, {15, 15}, {2000, 2000}};
    EXPECT_EQ(WindowPlacement::MainSize(small, current, 1995, 0).width, 1995 * 15 + 80);
    EXPECT_EQ(WindowPlacement::MainSize(small, current, 1996, 0).width, 3000);
}

TEST(WindowPlacement, AWindowLargerThanTheWorkAreaKeepsItsTopLeftCornerInView) {
    const TwipsSize large{2000 * 15, 1000 * 15};
    EXPECT_EQ(WindowPlacement::Place(kScreen, large, "bottom-right"),
              (PixelRect{0, 0, 2000, 1000}));
    PlacementScreen topBar{{0, 30, 1024, 738}, {15, 15}, {32767, 32767}};
    EXPECT_EQ(WindowPlacement::Place(topBar, large, "middle-center"),
              (PixelRect{0, 30, 2000, 1000}));
}

}  // namespace
}  // namespace ko
