#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace ko {

// What the X display shows, as a customer sees it: the demo saves a picture of each step, and
// the start-up benchmark watches for the first picture that shows the kiosk page.
class ScreenGrab {
  public:
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> rgb;  // rows top to bottom, three bytes a pixel
    };

    // Connects to the display named, or to DISPLAY's.
    explicit ScreenGrab(const std::string& display = {});
    ~ScreenGrab();
    ScreenGrab(const ScreenGrab&) = delete;
    ScreenGrab& operator=(const ScreenGrab&) = delete;

    bool Connected() const { return m_display != nullptr; }
    // The whole screen, or nothing when the display cannot be read. With step above 1 only every
    // step-th pixel each way is kept (a smaller picture, read fast enough to watch a start-up).
    std::optional<Image> Grab(int step = 1);

    static bool SavePng(const Image& image, const std::string& path);
    // The share of pixels, sampled every step pixels each way, that differ by more than a
    // small tolerance in any colour: 0 for the same picture.
    static double Difference(const Image& a, const Image& b, int step = 1);

  private:
    struct Shared;  // a shared-memory image of the screen, when the display offers one

    _XDisplay* m_display = nullptr;
    Shared* m_shared = nullptr;
};

}  // namespace ko
