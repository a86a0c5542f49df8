#pragma once

#include <cstdint>
#include <string>

#include "platform/SoundPlayer.h"

struct ca_context;

namespace ko {

// Sound through libcanberra: it plays a WAV file by path in the background, needs neither a GLib
// loop nor a display (the headless agent plays its warning too), and its playing thread never
// calls back into our code. One context serves the process; it opens its driver when the first
// player is made; a machine without a sound device logs once per failure and plays nothing.
class CanberraSoundPlayer : public SoundPlayer {
  public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    bool Play(const std::string& path) override;

  private:
    ca_context* m_context = nullptr;
    std::uint32_t m_lastId = 0;
};

}  // namespace ko
