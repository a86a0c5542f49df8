#pragma once

#include <string>

#include "platform/SoundPlayer.h"

namespace ko {

// sndPlaySoundA with SND_ASYNC: the call returns at once, and a new sound stops the one playing.
// A file that cannot be read plays the system's default sound, which warns as well.
class Win32SoundPlayer : public SoundPlayer {
  public:
    bool Play(const std::string& path) override;
};

}  // namespace ko
