#include "platform/linux/CanberraSoundPlayer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ko {
namespace {

namespace fs = std::filesystem;

// The player's sound goes through ALSA, from the library's own thread (Play returns at once); with
// ALSA's file plugin as the default device (an .asoundrc in a temporary HOME) the samples land in a
// file instead of a sound card.
class CanberraSoundPlayerTest : public ::testing::Test {
  protected:
    CanberraSoundPlayerTest() {
        m_home = fs::temp_directory_path() / ("ko-sound-" + std::to_string(::getpid()));
        fs::create_directories(m_home);
        m_capture = m_home / "capture.raw";
        std::ofstream(m_home / ".asoundrc")
            << "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"" << m_capture.string()
            << "\"\n  format \"raw\"\n}\n";
        if (const char* home = std::getenv("HOME")) {
            m_oldHome = home;
        }
        ::setenv("HOME", m_home.c_str(), 1);
    }
    ~CanberraSoundPlayerTest() override {
        if (!m_oldHome.empty()) {
            ::setenv("HOME", m_oldHome.c_str(), 1);
        }
        std::error_code ignored;
        fs::remove_all(m_home, ignored);
    }

    // Bytes captured so far, waiting up to two seconds of real time for the player's thread.
    std::uintmax_t CapturedBytes(std::uintmax_t atLeast) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::error_code error;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::uintmax_t size = fs::file_size(m_capture, error);
            if (!error && size >= atLeast) {
                return size;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const std::uintmax_t size = fs::file_size(m_capture, error);
        return error ? 0 : size;
    }

    fs::path m_home;
    fs::path m_capture;
    std::string m_oldHome;
};

TEST_F(CanberraSoundPlayerTest, PlaysTheWarningInTheBackgroundAndSkipsWhatItCannotRead) {
    CanberraSoundPlayer player;
    ASSERT_TRUE(player.Play((fs::current_path() / "TimeoutRemainder.wav").string()));
    // Some samples of the chime reach the device (16-bit mono: 2 bytes a sample).
    EXPECT_GE(CapturedBytes(4096), 4096u);

    // A second warning replaces the first; a file that is not there is logged and skipped.
    EXPECT_TRUE(player.Play((fs::current_path() / "TimeoutRemainder.wav").string()));
    EXPECT_FALSE(player.Play((m_home / "missing.wav").string()));
}

}  // namespace
}  // namespace ko
