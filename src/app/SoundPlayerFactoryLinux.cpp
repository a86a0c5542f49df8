#include "app/SoundPlayerFactory.h"
#include "platform/linux/CanberraSoundPlayer.h"

namespace ko {

std::unique_ptr<SoundPlayer> MakeSoundPlayer() {
    return std::make_unique<CanberraSoundPlayer>();
}

}  // namespace ko
