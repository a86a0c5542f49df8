#pragma once

#include <gdk/gdk.h>

#include "platform/BrowserView.h"

namespace ko {

// A GDK key event as the system's key-down event reports it: the virtual-key code of the key
// (letters as upper-case, digits, F1 to F24, the editing and arrow keys, the modifiers; 0 for a
// key without one) and the shift bits 1 Shift, 2 Ctrl, 4 Alt.
KeyInfo KeyFromGdk(guint keyval, guint state);

}  // namespace ko
