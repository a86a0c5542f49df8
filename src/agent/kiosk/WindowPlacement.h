#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ScreenGeometry.h"

namespace ko {

// A window size in twips, the unit of the forms' geometry.
struct TwipsSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    friend bool operator==(const TwipsSize&, const TwipsSize&) = default;
};

// The screen a placement works on: the work area in pixels and the pixel factors.
struct PlacementScreen {
    PixelRect workArea;
    TwipsPerPixel twips;
    PixelSize maxWindow{32767, 32767};
};

// The placement rules the pages drive: sizes from the page's requests (pixels, with -1 or any
// negative number meaning the whole work area and 0 no request) and the nine placement words.
// Sizes are computed in 64 bits, so a huge request cannot wrap around; a size the window system
// would refuse (under one pixel, over its limit) is not applied and the previous one stays.
class WindowPlacement {
  public:
    // The main window's frame: -1 is the work area, other negatives are taken as sizes (and
    // refused, being under a pixel), 0 keeps the current size.
    static TwipsSize MainSize(const PlacementScreen& screen, const TwipsSize& current,
                              std::int32_t width, std::int32_t height);
    // A dialog: any negative is the work area, 0 the dialog's default.
    static TwipsSize DialogSize(const PlacementScreen& screen, const TwipsSize& current,
                                const TwipsSize& defaults, std::int32_t width, std::int32_t height);
    // The top-left corner in pixels for a window of this size. The word is "vertical-horizontal"
    // in any case; an unknown word is "bottom-right". The middle and center rules halve the sum of
    // the work area's origin and extent, as the server's pages expect; the result is kept inside
    // the work area as far as the window fits.
    static PixelRect Place(const PlacementScreen& screen, const TwipsSize& size,
                           const std::string& word);
    // Twips to whole pixels, rounded to the nearest.
    static std::int64_t ToPixels(std::int64_t twips, std::int32_t twipsPerPixel);
    // Whether a pixel size is one the window system takes.
    static bool Fits(const PlacementScreen& screen, std::int64_t widthPx, std::int64_t heightPx);
};

}  // namespace ko
