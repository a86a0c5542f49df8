#include "app/SoundPlayerFactory.h"
#include "platform/win32/Win32SoundPlayer.h"

namespace ko {

std::unique_ptr<SoundPlayer> MakeSoundPlayer() {
    return std::make_unique<Win32SoundPlayer>();
}

}  // namespace ko
