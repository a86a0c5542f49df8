// The Windows sound player: the time-out warning's sound must never hold up the agent's one
// thread, so a sound much longer than any wait the loop could bear returns at once, and the next
// sound takes its place.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/Win32SoundPlayer.h"

namespace ko {
namespace {

namespace fs = std::filesystem;

// A PCM wave file of silence: 16-bit mono at 22,050 Hz, as the warning's own chime.
void WriteSilence(const fs::path& path, std::uint32_t seconds) {
    const std::uint32_t rate = 22050;
    const std::uint32_t dataBytes = rate * 2 * seconds;
    auto put32 = [](std::ofstream& out, std::uint32_t v) {
        const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                               static_cast<char>((v >> 16) & 0xFF),
                               static_cast<char>((v >> 24) & 0xFF)};
        out.write(bytes, 4);
    };
    auto put16 = [](std::ofstream& out, std::uint16_t v) {
        const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
        out.write(bytes, 2);
    };
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, rate);
    put32(out, rate * 2);
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, dataBytes);
    const std::vector<char> silence(dataBytes, 0);
    out.write(silence.data(), static_cast<std::streamsize>(silence.size()));
}

TEST(Win32SoundPlayerTest, ALongSoundReturnsAtOnceAndTheNextReplacesIt) {
    const fs::path file =
        fs::temp_directory_path() / ("ko-sound-" + std::to_string(GetCurrentProcessId()) + ".wav");
    WriteSilence(file, 5);

    Win32SoundPlayer player;
    // Played through, the call would take five seconds; asynchronously it returns long before.
    auto started = std::chrono::steady_clock::now();
    player.Play(file.string());
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(2));

    // A second warning while the first plays stops it and returns at once as well.
    started = std::chrono::steady_clock::now();
    player.Play(file.string());
    took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(2));

    // Stop whatever still plays before the file goes.
    sndPlaySoundA(nullptr, 0);
    std::error_code ignored;
    fs::remove(file, ignored);
}

}  // namespace
}  // namespace ko
