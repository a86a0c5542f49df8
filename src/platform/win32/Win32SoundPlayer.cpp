#include "platform/win32/Win32SoundPlayer.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include "shared/Logger.h"

namespace ko {

bool Win32SoundPlayer::Play(const std::string& path) {
    if (sndPlaySoundA(path.c_str(), SND_ASYNC) == FALSE) {
        Logger::Info("sound: " + path + " not played (no sound device, or no such file)");
        return false;
    }
    return true;
}

}  // namespace ko
