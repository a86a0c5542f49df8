// The screen tests run on a private virtual display with a window manager, so they need no
// desktop and never disturb one.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "XvfbSession.h"
#include "shared/Logger.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ko::Logger::SetMinimumLevel(std::getenv("KO_TEST_DEBUG") != nullptr ? ko::Logger::Level::Debug
                                                                        : ko::Logger::Level::Error);
    ko::Logger::SetSink([](ko::Logger::Level, std::string_view text) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    });
    // Without a GPU WebKit's compositing leaves a window grey for a moment after each load.
    ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    const char* own = std::getenv("KO_TEST_USE_DISPLAY");
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    if (!listing && (own == nullptr || std::strcmp(own, "1") != 0)) {
        if (!ko::TestDisplay().Start(1024, 768)) {
            return 1;
        }
    }
    return RUN_ALL_TESTS();
}
