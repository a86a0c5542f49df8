#include "agent/kiosk/WindowPlacement.h"

#include <algorithm>

#include "shared/AsciiCase.h"

namespace ko {

namespace {

// What the form adds around the requested client size: the frame's width and height in twips.
constexpr std::int64_t kFrameWidthTwips = 80;
constexpr std::int64_t kFrameHeightTwips = 50;

std::int32_t Factor(std::int32_t twipsPerPixel) {
    return twipsPerPixel > 0 ? twipsPerPixel : 15;
}

// One dimension of the size rule. `whole` is the work area's extent in twips.
std::optional<std::int64_t> Dimension(std::int32_t request, bool anyNegativeIsWhole,
                                      std::int64_t whole, std::int32_t twipsPerPixel,
                                      std::int64_t frame) {
    if (request == -1 || (request < 0 && anyNegativeIsWhole)) {
        return whole;
    }
    if (request == 0) {
        return std::nullopt;
    }
    return std::int64_t{request} * Factor(twipsPerPixel) + frame;
}

TwipsSize Checked(const PlacementScreen& screen, const TwipsSize& current, TwipsSize wanted) {
    const std::int64_t widthPx = WindowPlacement::ToPixels(wanted.width, screen.twips.x);
    const std::int64_t heightPx = WindowPlacement::ToPixels(wanted.height, screen.twips.y);
    if (!WindowPlacement::Fits(screen, widthPx, heightPx)) {
        // Each dimension on its own: a refused height leaves a good width applied.
        if (!WindowPlacement::Fits(screen, widthPx, 1)) {
            wanted.width = current.width;
        }
        if (!WindowPlacement::Fits(screen, 1, heightPx)) {
            wanted.height = current.height;
        }
    }
    return wanted;
}

}  // namespace

std::int64_t WindowPlacement::ToPixels(std::int64_t twips, std::int32_t twipsPerPixel) {
    const std::int64_t factor = Factor(twipsPerPixel);
    const std::int64_t half = factor / 2;
    return twips >= 0 ? (twips + half) / factor : -((-twips + half) / factor);
}

bool WindowPlacement::Fits(const PlacementScreen& screen, std::int64_t widthPx,
                           std::int64_t heightPx) {
    return widthPx >= 1 && heightPx >= 1 && widthPx <= screen.maxWindow.width &&
           heightPx <= screen.maxWindow.height;
}

TwipsSize WindowPlacement::MainSize(const PlacementScreen& screen, const TwipsSize& current,
                                    std::int32_t width, std::int32_t height) {
    const PixelRect& area = screen.workArea;
    TwipsSize wanted = current;
    if (auto w = Dimension(width, false, std::int64_t{area.width} * Factor(screen.twips.x),
                           screen.twips.x, kFrameWidthTwips)) {
        wanted.width = *w;
    }
    if (auto h = Dimension(height, false, std::int64_t{area.height} * Factor(screen.twips.y),
                           screen.twips.y, kFrameHeightTwips)) {
        wanted.height = *h;
    }
    return Checked(screen, current, wanted);
}

TwipsSize WindowPlacement::DialogSize(const PlacementScreen& screen, const TwipsSize& current,
                                      const TwipsSize& defaults, std::int32_t width,
                                      std::int32_t height) {
    const PixelRect& area = screen.workArea;
    TwipsSize wanted;
    wanted.width = Dimension(width, true, std::int64_t{area.width} * Factor(screen.twips.x),
                             screen.twips.x, kFrameWidthTwips)
                       .value_or(defaults.width);
    wanted.height = Dimension(height, true, std::int64_t{area.height} * Factor(screen.twips.y),
                              screen.twips.y, kFrameHeightTwips)
                        .value_or(defaults.height);
    return Checked(screen, current, wanted);
}

PixelRect WindowPlacement::Place(const PlacementScreen& screen, const TwipsSize& size,
                                 const std::string& word) {
    const std::int64_t tx = Factor(screen.twips.x);
    const std::int64_t ty = Factor(screen.twips.y);
    const PixelRect& area = screen.workArea;
    // In twips, as the forms compute it.
    const std::int64_t l = area.left * tx;
    const std::int64_t t = area.top * ty;
    const std::int64_t ww = area.width * tx;
    const std::int64_t wh = area.height * ty;
    const std::int64_t w = size.width;
    const std::int64_t h = size.height;

    const std::string placement = AsciiLower(word);
    std::string vertical = "bottom";
    std::string horizontal = "right";
    static const char* const kVertical[] = {"top", "middle", "bottom"};
    static const char* const kHorizontal[] = {"left", "center", "right"};
    for (const char* v : kVertical) {
        for (const char* hz : kHorizontal) {
            if (placement == std::string(v) + "-" + hz) {
                vertical = v;
                horizontal = hz;
            }
        }
    }
    std::int64_t left = ww + l - w;
    if (horizontal == "left") {
        left = l;
    } else if (horizontal == "center") {
        left = (ww + l) / 2 - w / 2;
    }
    std::int64_t top = wh + t - h;
    if (vertical == "top") {
        top = t;
    } else if (vertical == "middle") {
        top = (wh + t) / 2 - h / 2;
    }

    PixelRect rect;
    rect.width = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ToPixels(w, screen.twips.x), 0, screen.maxWindow.width));
    rect.height = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ToPixels(h, screen.twips.y), 0, screen.maxWindow.height));
    // A window larger than the work area keeps its top-left corner in view; any other stays
    // inside the work area.
    const std::int64_t maxLeft =
        std::max<std::int64_t>(area.left, area.left + area.width - rect.width);
    const std::int64_t maxTop =
        std::max<std::int64_t>(area.top, area.top + area.height - rect.height);
    rect.left = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ToPixels(left, screen.twips.x), area.left, maxLeft));
    rect.top = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(ToPixels(top, screen.twips.y), area.top, maxTop));
    return rect;
}

}  // namespace ko
