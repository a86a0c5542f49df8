#pragma once

#include <cstdint>

namespace ko {

// A rectangle on the desktop in pixels: a window's outer frame, the work area or the screen.
struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// Twips (1/1440 inch) per screen pixel: 1440 / DPI, so 15 at 96 DPI and 12 at 120 DPI.
struct TwipsPerPixel {
    std::int32_t x = 15;
    std::int32_t y = 15;

    friend bool operator==(const TwipsPerPixel&, const TwipsPerPixel&) = default;
};

}  // namespace ko
