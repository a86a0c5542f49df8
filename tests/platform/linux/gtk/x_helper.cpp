// A small X client for the window-control tests: one top-level window with a class, a UTF-8
// title and WM_DELETE_WINDOW. "obey" exits when asked to close, "ignore" stays until killed.
// Prints "ready <window id>" once the window is mapped.
//
// usage: ko_x_helper obey|ignore CLASS TITLE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    const bool obey = std::strcmp(argv[1], "obey") == 0;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 1;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 200, 100,
                                              0, 0, WhitePixel(display, 0));
    XClassHint hint{argv[2], argv[2]};
    XSetClassHint(display, window, &hint);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const std::string title = argv[3];
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    // An ASCII title goes into the old WM_NAME too, as most programs do: tools that read only
    // that one (xdotool's search) find the window by it.
    if (std::all_of(title.begin(), title.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        XStoreName(display, window, title.c_str());
    }
    Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteAtom, 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    while (true) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.window == window) {
            std::printf("ready %lu\n", window);
            std::fflush(stdout);
        } else if (event.type == ClientMessage &&
                   static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom && obey) {
            break;
        }
    }
    XCloseDisplay(display);
    return 0;
}
