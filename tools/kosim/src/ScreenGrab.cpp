#include "ScreenGrab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <png.h>
#include <sys/ipc.h>
#include <sys/shm.h>

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

// The X server writes the screen straight into memory we share with it: no copy through the
// socket, a few milliseconds for a whole screen.
struct ScreenGrab::Shared {
    XShmSegmentInfo segment{};
    XImage* image = nullptr;

    static Shared* Create(Display* display, int width, int height) {
        if (XShmQueryExtension(display) == False) {
            return nullptr;
        }
        auto* s = new Shared;
        int screen = DefaultScreen(display);
        s->image = XShmCreateImage(display, DefaultVisual(display, screen),
                                   static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap,
                                   nullptr, &s->segment, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height));
        if (s->image != nullptr) {
            s->segment.shmid = shmget(IPC_PRIVATE,
                                      static_cast<std::size_t>(s->image->bytes_per_line) *
                                          static_cast<std::size_t>(height),
                                      IPC_CREAT | 0600);
        }
        if (s->image == nullptr || s->segment.shmid < 0) {
            Destroy(display, s, false);
            return nullptr;
        }
        s->segment.shmaddr = s->image->data =
            static_cast<char*>(shmat(s->segment.shmid, nullptr, 0));
        // Marked for removal at once: the segment goes when both sides have detached.
        shmctl(s->segment.shmid, IPC_RMID, nullptr);
        s->segment.readOnly = False;
        if (s->segment.shmaddr == reinterpret_cast<char*>(-1) ||
            XShmAttach(display, &s->segment) == False) {
            Destroy(display, s, false);
            return nullptr;
        }
        XSync(display, False);
        return s;
    }

    static void Destroy(Display* display, Shared* s, bool attached) {
        if (s == nullptr) {
            return;
        }
        if (attached) {
            XShmDetach(display, &s->segment);
            XSync(display, False);
        }
        if (s->segment.shmaddr != nullptr && s->segment.shmaddr != reinterpret_cast<char*>(-1)) {
            shmdt(s->segment.shmaddr);
        }
        if (s->image != nullptr) {
            s->image->data = nullptr;
            XDestroyImage(s->image);
        }
        delete s;
    }
};

ScreenGrab::ScreenGrab(const std::string& display)
    : m_display(XOpenDisplay(display.empty() ? nullptr : display.c_str())) {}

ScreenGrab::~ScreenGrab() {
    if (m_display != nullptr) {
        Shared::Destroy(m_display, m_shared, true);
        XCloseDisplay(m_display);
    }
}

std::optional<ScreenGrab::Image> ScreenGrab::Grab(int step) {
    if (m_display == nullptr || step < 1) {
        return std::nullopt;
    }
    Window root = DefaultRootWindow(m_display);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(m_display, root, &attributes) == 0) {
        return std::nullopt;
    }
    if (m_shared != nullptr && (m_shared->image->width != attributes.width ||
                                m_shared->image->height != attributes.height)) {
        Shared::Destroy(m_display, m_shared, true);
        m_shared = nullptr;
    }
    if (m_shared == nullptr) {
        m_shared = Shared::Create(m_display, attributes.width, attributes.height);
    }
    XImage* x = nullptr;
    bool own = false;
    if (m_shared != nullptr &&
        XShmGetImage(m_display, root, m_shared->image, 0, 0, AllPlanes) != False) {
        x = m_shared->image;
    } else {
        x = XGetImage(m_display, root, 0, 0, static_cast<unsigned>(attributes.width),
                      static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        own = true;
    }
    if (x == nullptr) {
        return std::nullopt;
    }
    Image image;
    image.width = (x->width + step - 1) / step;
    image.height = (x->height + step - 1) / step;
    image.rgb.resize(static_cast<std::size_t>(image.width) *
                     static_cast<std::size_t>(image.height) * 3);
    Channel red(x->red_mask);
    Channel green(x->green_mask);
    Channel blue(x->blue_mask);
    bool fast = x->bits_per_pixel == 32 && x->byte_order == LSBFirst;
    std::size_t out = 0;
    for (int y = 0; y < x->height; y += step) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(x->data) +
                          static_cast<std::ptrdiff_t>(y) * x->bytes_per_line;
        for (int col = 0; col < x->width; col += step) {
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
    if (own) {
        XDestroyImage(x);
    }
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
