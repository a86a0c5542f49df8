#pragma once

#include <string>
#include <vector>

#include "platform/SoundPlayer.h"

namespace ko {

// Records every sound asked for; a test can take the device away.
class FakeSoundPlayer : public SoundPlayer {
  public:
    bool Play(const std::string& path) override {
        played.push_back(path);
        return hasDevice;
    }

    std::vector<std::string> played;
    bool hasDevice = true;
};

}  // namespace ko
