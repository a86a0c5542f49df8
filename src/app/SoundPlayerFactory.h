#pragma once

#include <memory>

#include "platform/SoundPlayer.h"

namespace ko {

// The sound player of the platform this program is built for (SoundPlayerFactoryLinux.cpp,
// SoundPlayerFactoryWin32.cpp).
std::unique_ptr<SoundPlayer> MakeSoundPlayer();

}  // namespace ko
