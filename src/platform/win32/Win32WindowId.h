#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/DesktopWindows.h"

namespace ko {

// Window handles carry 32 significant bits on 64-bit Windows too; the system widens them with
// sign extension, as LongToHandle does.
inline HWND ToHwnd(WindowId window) {
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(window)));
}

inline WindowId ToWindowId(HWND window) {
    return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window));
}

}  // namespace ko
