#include "ScreenGrab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <cstdlib>

namespace ko {

namespace {

// The position of a colour mask's lowest bit and its width, to read any true-colour layout.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(unsigned long mask) {
        while (mask != 0 && (mask & 1) == 0) {
            mask >>= 1;
            ++shift;
        }
        while ((mask & 1) != 0) {
            mask >>= 1;
            ++bits;
        }
    }
    std::uint8_t Read(unsigned long pixel) const {
        if (bits == 0) {
            return 0;
        }
        unsigned long v = (pixel >> shift) & ((1UL << bits) - 1);
        return static_cast<std::uint8_t>(bits >= 8 ? v >> (bits - 8)
                                                   : v * 255 / ((1UL << bits) - 1));
    }
};

}  // namespace

ScreenGrab::ScreenGrab(const std::string& display)
    : m_display(XOpenDisplay(display.empty() ? nullptr : display.c_str())) {}

ScreenGrab::~ScreenGrab() {
    if (m_display != nullptr) {
        XCloseDisplay(m_display);
    }
}

std::optional<ScreenGrab::Image> ScreenGrab::Grab() {
    if (m_display == nullptr) {
        return std::nullopt;
    }
    Window root = DefaultRootWindow(m_display);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(m_display, root, &attributes) == 0) {
        return std::nullopt;
    }
    XImage* x = XGetImage(m_display, root, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (x == nullptr) {
        return std::nullopt;
    }
    Image image;
    image.width = x->width;
    image.height = x->height;
    image.rgb.resize(static_cast<std::size_t>(x->width) * static_cast<std::size_t>(x->height) * 3);
    Channel red(x->red_mask);
    Channel green(x->green_mask);
    Channel blue(x->blue_mask);
    bool fast = x->bits_per_pixel == 32 && x->byte_order == LSBFirst;
    std::size_t out = 0;
    for (int y = 0; y < x->height; ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(x->data) +
                          static_cast<std::ptrdiff_t>(y) * x->bytes_per_line;
        for (int col = 0; col < x->width; ++col) {
            unsigned long pixel = 0;
            if (fast) {
                const std::uint8_t* p = row + col * 4;
                pixel =
                    p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
            } else {
                pixel = XGetPixel(x, col, y);
            }
            image.rgb[out++] = red.Read(pixel);
            image.rgb[out++] = green.Read(pixel);
            image.rgb[out++] = blue.Read(pixel);
        }
    }
    XDestroyImage(x);
    return image;
}

bool ScreenGrab::SavePng(const Image& image, const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    bool ok = png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), image.width * 3,
                                      nullptr) != 0;
    png_image_free(&png);
    return ok;
}

double ScreenGrab::Difference(const Image& a, const Image& b, int step) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || step < 1) {
        return 1.0;
    }
    long sampled = 0;
    long differ = 0;
    for (int y = 0; y < a.height; y += step) {
        for (int x = 0; x < a.width; x += step) {
            std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(a.width) +
                             static_cast<std::size_t>(x)) *
                            3;
            ++sampled;
            for (int c = 0; c < 3; ++c) {
                if (std::abs(a.rgb[i + c] - b.rgb[i + c]) > 8) {
                    ++differ;
                    break;
                }
            }
        }
    }
    return sampled == 0 ? 1.0 : static_cast<double>(differ) / static_cast<double>(sampled);
}

}  // namespace ko
