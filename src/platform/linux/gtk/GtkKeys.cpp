#include "platform/linux/gtk/GtkKeys.h"

#include <gdk/gdkkeysyms.h>

namespace ko {
namespace {

std::int32_t VirtualKey(guint keyval) {
    const guint upper = gdk_keyval_to_upper(keyval);
    if ((upper >= GDK_KEY_A && upper <= GDK_KEY_Z) ||
        (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)) {
        return static_cast<std::int32_t>(upper);
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) {
        return static_cast<std::int32_t>(112 + (keyval - GDK_KEY_F1));
    }
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) {
        return static_cast<std::int32_t>(96 + (keyval - GDK_KEY_KP_0));
    }
    switch (keyval) {
        case GDK_KEY_BackSpace:
            return 8;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return 9;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return 13;
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
            return 16;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
            return 17;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
        case GDK_KEY_Meta_L:
        case GDK_KEY_Meta_R:
            return 18;
        case GDK_KEY_Pause:
            return 19;
        case GDK_KEY_Caps_Lock:
            return 20;
        case GDK_KEY_Escape:
            return 27;
        case GDK_KEY_space:
            return 32;
        case GDK_KEY_Page_Up:
            return 33;
        case GDK_KEY_Page_Down:
            return 34;
        case GDK_KEY_End:
            return 35;
        case GDK_KEY_Home:
            return 36;
        case GDK_KEY_Left:
            return 37;
        case GDK_KEY_Up:
            return 38;
        case GDK_KEY_Right:
            return 39;
        case GDK_KEY_Down:
            return 40;
        case GDK_KEY_Insert:
            return 45;
        case GDK_KEY_Delete:
            return 46;
        case GDK_KEY_Super_L:
            return 91;
        case GDK_KEY_Super_R:
            return 92;
        case GDK_KEY_Menu:
            return 93;
        default:
            return 0;
    }
}

}  // namespace

KeyInfo KeyFromGdk(guint keyval, guint state) {
    KeyInfo key;
    key.keyCode = VirtualKey(keyval);
    if ((state & GDK_SHIFT_MASK) != 0) {
        key.shift |= 1;
    }
    if ((state & GDK_CONTROL_MASK) != 0) {
        key.shift |= 2;
    }
    if ((state & GDK_MOD1_MASK) != 0) {
        key.shift |= 4;
    }
    return key;
}

}  // namespace ko
