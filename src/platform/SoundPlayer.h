#pragma once

#include <string>

namespace ko {

// Plays a sound file in the background: Play returns at once, and a new sound replaces one that
// still plays. A machine without a sound device plays nothing; the caller goes on either way.
class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // path is the full path of a WAV file. False when the sound cannot be played (no device, no
    // file the player can read); the reason is logged by the player.
    virtual bool Play(const std::string& path) = 0;
};

}  // namespace ko
