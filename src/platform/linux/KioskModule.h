#pragma once

#include <cstdint>

namespace ko {

class KioskScreens;
class LinuxEventLoop;

// The agent's screens on Linux live in a module of their own (libkokiosk.so, next to the
// program) that the agent loads only once a display answers: a headless agent never maps GTK or
// WebKit. Both sides come from one build; the version guards against a module left over from
// another one.
inline constexpr std::uint32_t kKioskModuleVersion = 1;
inline constexpr const char* kKioskModuleFile = "libkokiosk.so";
inline constexpr const char* kKioskModuleEntry = "ko_kiosk_module_open";

// Exit code of an agent whose display went away: it cannot show its lock any more, and systemd
// starts it again to wait for a display.
inline constexpr int kExitDisplayLost = 2;

struct KioskModuleHost {
    std::uint32_t version = kKioskModuleVersion;
    LinuxEventLoop* loop = nullptr;
    // Log lines of the module go to the agent's logger (level: 0 debug, 1 info, 2 error,
    // 3 warning).
    void (*log)(int level, const char* text) = nullptr;
};

// Opens the display named by DISPLAY on the host's loop and returns the screens on it, owned by
// the caller; null when the display refuses the program (it may be asked again later).
using KioskModuleOpen = KioskScreens* (*)(const KioskModuleHost* host);

}  // namespace ko
