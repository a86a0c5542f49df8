#include "ScreenGrab.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>

namespace ko {

namespace {

ScreenGrab::Image Plain(int width, int height, std::uint8_t grey) {
    ScreenGrab::Image image;
    image.width = width;
    image.height = height;
    image.rgb.assign(static_cast<std::size_t>(width * height * 3), grey);
    return image;
}

TEST(ScreenGrab, PicturesDifferByTheShareOfPixelsThatChanged) {
    auto a = Plain(10, 10, 100);
    auto b = a;
    EXPECT_EQ(ScreenGrab::Difference(a, b), 0.0);
    b.rgb[0] = 104;  // a shade a compressed or dithered picture may show: the same
    EXPECT_EQ(ScreenGrab::Difference(a, b), 0.0);
    for (int i = 0; i < 10; ++i) {  // one row of ten, in a hundred pixels
        b.rgb[static_cast<std::size_t>(i * 3 + 2)] = 255;
    }
    EXPECT_DOUBLE_EQ(ScreenGrab::Difference(a, b), 0.1);
    EXPECT_DOUBLE_EQ(ScreenGrab::Difference(a, b, 2), 5.0 / 25.0);
    EXPECT_EQ(ScreenGrab::Difference(a, Plain(10, 9, 100)), 1.0) << "another screen size";
}

TEST(ScreenGrab, SavesAPngThatReadsBack) {
    auto image = Plain(7, 3, 0);
    image.rgb[0] = 255;
    auto path = std::filesystem::temp_directory_path() / "kosim-grab-test.png";
    ASSERT_TRUE(ScreenGrab::SavePng(image, path.string()));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, path.string().c_str()));
    png.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(png.width, 7u);
    EXPECT_EQ(png.height, 3u);
    EXPECT_EQ(back, image.rgb);
    std::filesystem::remove(path);
    EXPECT_FALSE(ScreenGrab::SavePng(image, "/nonexistent-folder/x.png"));
}

}  // namespace

}  // namespace ko
