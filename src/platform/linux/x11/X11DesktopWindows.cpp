#include "platform/linux/x11/X11DesktopWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/scrnsaver.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/Processes.h"
#include "platform/linux/AnsiText.h"
#include "platform/linux/DisplayProbe.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

constexpr std::size_t kMaxClassLength = 200;

// Windows come and go between a notice and the questions about them, so errors on this
// connection (a window already destroyed) are expected and dropped. Xlib's handler is one per
// process: errors of other connections go on to the handler that was there before.
std::set<Display*>& OurDisplays() {
    static std::set<Display*> displays;
    return displays;
}
XErrorHandler g_previousHandler = nullptr;

int DropOwnErrors(Display* display, XErrorEvent* event) {
    if (OurDisplays().count(display) != 0) {
        return 0;
    }
    return g_previousHandler != nullptr ? g_previousHandler(display, event) : 0;
}

// Without these the X server's end would end the whole program: the process's handler lets
// this adapter's connections go on to their exit handler, which only marks them lost; other
// connections' breaks go to the handler that was there before.
XIOErrorHandler g_previousIoHandler = nullptr;

int KeepOwnConnectionsAfterIoError(Display* display) {
    if (OurDisplays().count(display) != 0 || g_previousIoHandler == nullptr) {
        return 0;
    }
    return g_previousIoHandler(display);
}

void KeepRunningAfterIoError(Display*, void* lost) {
    *static_cast<bool*>(lost) = true;
}

}  // namespace

// Every public call ends by handing events its round trips queued to the loop.
class X11DesktopWindows::DrainAfter {
  public:
    explicit DrainAfter(X11DesktopWindows& owner) : m_owner(owner) {}
    ~DrainAfter() { m_owner.ScheduleDrain(); }
    DrainAfter(const DrainAfter&) = delete;
    DrainAfter& operator=(const DrainAfter&) = delete;

  private:
    X11DesktopWindows& m_owner;
};

struct X11DesktopWindows::Connection {
    Display* display = nullptr;
    Window root = 0;
    LinuxEventLoop::WatchId watch = 0;
    bool lost = false;
    bool hasClientList = false;
    bool screenSaverSuspended = false;
    bool drainPosted = false;
    bool hasXRes = false;
    std::vector<Window> clientList;
    std::set<Window> mapped;  // without a window manager: the root's mapped children
    // Windows this adapter hid. The window manager lets go of an unmapped window and takes it
    // back when it is mapped again; those are no creations or destructions of the program's.
    std::set<Window> hidden;
    Window active = 0;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    Atom clientListAtom = 0;
    Atom stackingAtom = 0;
    Atom activeAtom = 0;
    Atom pidAtom = 0;
    Atom nameAtom = 0;
    Atom utf8Atom = 0;
    Atom protocolsAtom = 0;
    Atom deleteAtom = 0;
    Atom wmCheckAtom = 0;

    // Reads a property of this type and format and hands its items to use; false when the
    // window has no such property.
    template <typename Use>
    bool Read(Window window, Atom property, Atom type, int wantedFormat, Use&& use) const {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const bool found =
            XGetWindowProperty(display, window, property, 0, 65536, False, type, &actualType,
                               &format, &count, &after, &data) == Success &&
            actualType == type && format == wantedFormat;
        if (found && data != nullptr) {
            use(data, count);
        }
        if (data != nullptr) {
            XFree(data);
        }
        return found;
    }

    // A format-32 property as numbers (Xlib hands them out as longs); empty when absent.
    std::vector<unsigned long> Numbers(Window window, Atom property, Atom type,
                                       bool* found = nullptr) const {
        std::vector<unsigned long> values;
        const bool present =
            Read(window, property, type, 32, [&](const unsigned char* data, unsigned long count) {
                const auto* longs = reinterpret_cast<const unsigned long*>(data);
                values.assign(longs, longs + count);
            });
        if (found != nullptr) {
            *found = present;
        }
        return values;
    }

    std::optional<std::string> Text(Window window, Atom property, Atom type) const {
        std::string text;
        if (!Read(window, property, type, 8, [&](const unsigned char* data, unsigned long count) {
                text.assign(reinterpret_cast<const char*>(data), count);
            })) {
            return std::nullopt;
        }
        return text;
    }
};

X11DesktopWindows::X11DesktopWindows(LinuxEventLoop& loop, Processes& processes)
    : m_loop(loop), m_processes(processes) {}

X11DesktopWindows::~X11DesktopWindows() {
    if (m_reopen != 0) {
        m_loop.RemoveTimer(m_reopen);
    }
    Close();
}

bool X11DesktopWindows::KeepOpen(std::uint32_t retryMs) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        Logger::Info(
            "no display here: watching, hiding and closing other programs' windows is not "
            "supported");
        return false;
    }
    m_keepOpen = true;
    m_retryMs = retryMs;
    if (m_reopen == 0) {
        m_reopen = m_loop.AddTimer([this] { Guarded("X11 display reopening", [&] { Reopen(); }); });
    }
    if (Available()) {
        return true;
    }
    if (DisplayAnswers(display) && Open(display)) {
        return true;
    }
    Logger::Info(std::string("the display ") + display +
                 " does not answer yet; window control waits for it");
    m_loop.SetTimerInterval(m_reopen, m_retryMs);
    return false;
}

void X11DesktopWindows::Reopen() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0' || Available()) {
        m_loop.SetTimerInterval(m_reopen, 0);
        return;
    }
    if (DisplayAnswers(display) && Open(display)) {
        m_loop.SetTimerInterval(m_reopen, 0);
        Logger::Info(std::string("window control on display ") + display);
    }
}

void X11DesktopWindows::Lost() {
    Logger::Info(m_keepOpen ? "the X display went away; window control waits for it to return"
                            : "the X display went away; window control stops");
    Close();
    if (m_keepOpen && m_reopen != 0) {
        m_loop.SetTimerInterval(m_reopen, m_retryMs);
    }
}

bool X11DesktopWindows::Open(const std::string& displayName) {
    Close();
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display == nullptr) {
        return false;
    }
    auto x = std::make_unique<Connection>();
    x->display = display;
    x->root = DefaultRootWindow(display);
    // Installed once: installing it again would make it its own predecessor.
    static const bool installed = [] {
        g_previousHandler = XSetErrorHandler(DropOwnErrors);
        g_previousIoHandler = XSetIOErrorHandler(KeepOwnConnectionsAfterIoError);
        return true;
    }();
    (void)installed;
    OurDisplays().insert(display);
    XSetIOErrorExitHandler(display, KeepRunningAfterIoError, &x->lost);

    x->clientListAtom = XInternAtom(display, "_NET_CLIENT_LIST", False);
    x->stackingAtom = XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False);
    x->activeAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    x->pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    x->nameAtom = XInternAtom(display, "_NET_WM_NAME", False);
    x->utf8Atom = XInternAtom(display, "UTF8_STRING", False);
    x->protocolsAtom = XInternAtom(display, "WM_PROTOCOLS", False);
    x->deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    x->wmCheckAtom = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);

    int eventBase = 0;
    int errorBase = 0;
    x->hasXRes = XResQueryExtension(display, &eventBase, &errorBase) != 0;
    XSelectInput(display, x->root, PropertyChangeMask | SubstructureNotifyMask);
    m_x = std::move(x);
    // What is there now is the starting point: only later changes are notices.
    ReadClientList(false);
    ReadActiveWindow(false);
    if (!m_x->hasClientList) {
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, m_x->root, &rootReturn, &parent, &children, &count) != 0) {
            for (unsigned int i = 0; i < count; ++i) {
                XWindowAttributes attributes;
                if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                    attributes.map_state == IsViewable && !attributes.override_redirect) {
                    m_x->mapped.insert(children[i]);
                }
            }
            if (children != nullptr) {
                XFree(children);
            }
        }
    }
    XFlush(display);
    ProtectDesktopProcesses();
    m_x->watch = m_loop.WatchFd(ConnectionNumber(display), POLLIN, [this](short) {
        Guarded("X11 window notices", [&] { OnReadable(); });
    });
    if (m_saverSuspended) {
        SuspendScreenSaver(true);  // a lock that began before this display opened
    }
    return true;
}

// Ending the display server or the window manager would take the kiosk down with them. A window
// manager that starts after the display opened is protected when it names itself.
void X11DesktopWindows::ProtectDesktopProcesses() {
    for (ProcessId id : DesktopProcesses()) {
        m_processes.Protect(id);
    }
}

void X11DesktopWindows::Close() {
    if (!m_x) {
        return;
    }
    *m_x->alive = false;
    if (m_x->watch != 0) {
        m_loop.UnwatchFd(m_x->watch);
    }
    OurDisplays().erase(m_x->display);
    XCloseDisplay(m_x->display);
    m_x.reset();
}

bool X11DesktopWindows::Available() {
    return m_x && !m_x->lost;
}

void X11DesktopWindows::OnReadable() {
    if (!m_x) {
        return;
    }
    // XPending reads what arrived; a lost server leaves the connection unusable.
    while (!m_x->lost && XPending(m_x->display) > 0) {
        HandleQueued();
    }
    if (m_x && m_x->lost) {
        Lost();
    }
}

void X11DesktopWindows::HandleQueued() {
    while (m_x && !m_x->lost && XQLength(m_x->display) > 0) {
        XEvent event;
        XNextEvent(m_x->display, &event);
        if (event.type == PropertyNotify && event.xproperty.window == m_x->root) {
            if (event.xproperty.atom == m_x->clientListAtom) {
                ReadClientList(true);
            } else if (event.xproperty.atom == m_x->activeAtom) {
                ReadActiveWindow(true);
            } else if (event.xproperty.atom == m_x->wmCheckAtom) {
                ProtectDesktopProcesses();
            }
        } else if (event.type == MapNotify && !m_x->hasClientList &&
                   event.xmap.event == m_x->root && !event.xmap.override_redirect) {
            if (m_x->mapped.insert(event.xmap.window).second) {
                Notify(HookNotice::WindowCreated, static_cast<WindowId>(event.xmap.window));
            }
        } else if (event.type == DestroyNotify &&
                   m_x->hidden.erase(event.xdestroywindow.window) != 0) {
            // A hidden window's program closed it: that is its end.
            Notify(HookNotice::WindowDestroyed, static_cast<WindowId>(event.xdestroywindow.window));
        } else if (event.type == DestroyNotify && !m_x->hasClientList &&
                   event.xdestroywindow.event == m_x->root) {
            if (m_x->mapped.erase(event.xdestroywindow.window) != 0) {
                Notify(HookNotice::WindowDestroyed,
                       static_cast<WindowId>(event.xdestroywindow.window));
            }
        }
    }
}

void X11DesktopWindows::ReadClientList(bool notify) {
    Connection& x = *m_x;
    const bool hadClientList = x.hasClientList;
    const auto ids = x.Numbers(x.root, x.clientListAtom, XA_WINDOW, &x.hasClientList);
    const std::vector<Window> now(ids.begin(), ids.end());
    const std::vector<Window> before = std::move(x.clientList);
    x.clientList = now;
    std::set<Window> old(before.begin(), before.end());
    if (!hadClientList && x.hasClientList) {
        // A window manager arrived: the windows already announced from the root's mapped
        // children are not new again.
        old.insert(x.mapped.begin(), x.mapped.end());
        x.mapped.clear();
    }
    if (!notify) {
        return;
    }
    const std::set<Window> current(now.begin(), now.end());
    for (Window window : before) {
        if (current.count(window) == 0 && x.hidden.count(window) == 0) {
            Notify(HookNotice::WindowDestroyed, static_cast<WindowId>(window));
        }
    }
    for (Window window : now) {
        if (old.count(window) != 0) {
            continue;
        }
        if (x.hidden.erase(window) != 0) {
            XSelectInput(x.display, window, NoEventMask);  // shown again: back as it was
            continue;
        }
        Notify(HookNotice::WindowCreated, static_cast<WindowId>(window));
    }
}

void X11DesktopWindows::ReadActiveWindow(bool notify) {
    const auto values = m_x->Numbers(m_x->root, m_x->activeAtom, XA_WINDOW);
    const Window active = values.empty() ? 0 : values.front();
    const bool changed = active != m_x->active;
    m_x->active = active;
    // An activation of "no window" (the desktop took the focus) is no notice.
    if (notify && changed && active != 0) {
        Notify(HookNotice::WindowActivated, static_cast<WindowId>(active));
    }
}

void X11DesktopWindows::Notify(HookNotice notice, WindowId window) {
    if (m_sink) {
        auto sink = m_sink;
        sink(notice, window);
    }
}

void X11DesktopWindows::ScheduleDrain() {
    // Round trips read the events that arrived meanwhile into Xlib's queue, where the
    // descriptor no longer shows them: they are handled from the loop, after the running event.
    // A display that went away during a round trip is let go the same way.
    if (!m_x || m_x->drainPosted || (!m_x->lost && XQLength(m_x->display) == 0)) {
        return;
    }
    m_x->drainPosted = true;
    m_loop.Post([this, alive = m_x->alive] {
        if (*alive) {
            m_x->drainPosted = false;
            Guarded("X11 window notices", [&] {
                if (m_x->lost) {
                    Lost();
                } else {
                    HandleQueued();
                }
            });
        }
    });
}

void X11DesktopWindows::SetNoticeSink(NoticeSink sink) {
    m_sink = std::move(sink);
}

bool X11DesktopWindows::Exists(WindowId window) {
    DrainAfter drain(*this);
    if (!Available() || window == 0) {
        return false;
    }
    XWindowAttributes attributes;
    return XGetWindowAttributes(m_x->display, window, &attributes) != 0;
}

std::optional<std::string> X11DesktopWindows::ClassName(WindowId window) {
    DrainAfter drain(*this);
    if (!Available() || window == 0) {
        return std::nullopt;
    }
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(m_x->display, window, &hint) == 0) {
        return Exists(window) ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    std::string name = hint.res_class != nullptr ? Utf8ToAnsi(hint.res_class) : std::string();
    if (hint.res_name != nullptr) {
        XFree(hint.res_name);
    }
    if (hint.res_class != nullptr) {
        XFree(hint.res_class);
    }
    if (name.size() > kMaxClassLength) {
        name.resize(kMaxClassLength);
    }
    return name;
}

std::optional<std::string> X11DesktopWindows::Title(WindowId window) {
    DrainAfter drain(*this);
    if (!Available() || window == 0) {
        return std::nullopt;
    }
    if (auto utf8 = m_x->Text(window, m_x->nameAtom, m_x->utf8Atom)) {
        return Utf8ToAnsi(*utf8);
    }
    // WM_NAME in Latin-1, whose letters the ANSI code page keeps at the same numbers.
    if (auto latin1 = m_x->Text(window, XA_WM_NAME, XA_STRING)) {
        return latin1;
    }
    return Exists(window) ? std::optional<std::string>(std::string()) : std::nullopt;
}

std::optional<ProcessId> X11DesktopWindows::ProcessOf(WindowId window) {
    DrainAfter drain(*this);
    if (!Available() || window == 0) {
        return std::nullopt;
    }
    // The server knows which client made the window; _NET_WM_PID is only what the program
    // wrote, and a program could name another process there. So the server is asked first.
    if (m_x->hasXRes) {
        XResClientIdSpec spec{static_cast<XID>(window), XRES_CLIENT_ID_PID_MASK};
        long count = 0;
        XResClientIdValue* ids = nullptr;
        std::optional<ProcessId> pid;
        if (XResQueryClientIds(m_x->display, 1, &spec, &count, &ids) == Success) {
            for (long i = 0; i < count && !pid; ++i) {
                const pid_t found = XResGetClientPid(&ids[i]);
                if (found > 0) {
                    pid = static_cast<ProcessId>(found);
                }
            }
            XResClientIdsDestroy(count, ids);
        }
        if (pid) {
            return pid;
        }
    }
    const auto values = m_x->Numbers(window, m_x->pidAtom, XA_CARDINAL);
    if (!values.empty() && values.front() > 0 && values.front() <= 0x3FFFFFFF) {
        return static_cast<ProcessId>(values.front());
    }
    return std::nullopt;
}

ActionResult X11DesktopWindows::Show(WindowId window) {
    DrainAfter drain(*this);
    if (!Available()) {
        return ActionResult::NotSupported;
    }
    if (!Exists(window)) {
        return ActionResult::Failed;
    }
    XMapWindow(m_x->display, window);
    XFlush(m_x->display);
    return ActionResult::Done;
}

ActionResult X11DesktopWindows::Hide(WindowId window) {
    DrainAfter drain(*this);
    if (!Available()) {
        return ActionResult::NotSupported;
    }
    if (!Exists(window)) {
        return ActionResult::Failed;
    }
    // Its destruction while hidden must still be heard: the client list no longer shows it.
    if (m_x->hidden.insert(window).second) {
        XSelectInput(m_x->display, window, StructureNotifyMask);
    }
    XUnmapWindow(m_x->display, window);
    XFlush(m_x->display);
    return ActionResult::Done;
}

ActionResult X11DesktopWindows::RequestClose(WindowId window) {
    DrainAfter drain(*this);
    if (!Available()) {
        return ActionResult::NotSupported;
    }
    Atom* protocols = nullptr;
    int count = 0;
    bool polite = false;
    if (XGetWMProtocols(m_x->display, window, &protocols, &count) != 0) {
        polite = std::find(protocols, protocols + count, m_x->deleteAtom) != protocols + count;
        XFree(protocols);
    }
    // A window without WM_DELETE_WINDOW has no polite close; its process is ended instead.
    if (!polite) {
        return ActionResult::Failed;
    }
    if (DryRunRequested()) {
        Logger::Info("dry run: would close window " + std::to_string(window));
        return ActionResult::DryRun;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = m_x->protocolsAtom;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(m_x->deleteAtom);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(m_x->display, window, False, NoEventMask, &event);
    XFlush(m_x->display);
    return sent != 0 ? ActionResult::Done : ActionResult::Failed;
}

std::vector<WindowId> X11DesktopWindows::TopLevelWindows() {
    DrainAfter drain(*this);
    std::vector<WindowId> windows;
    if (!Available()) {
        return windows;
    }
    // The window manager's stacking list runs bottom to top.
    const auto stacking = m_x->Numbers(m_x->root, m_x->stackingAtom, XA_WINDOW);
    if (!stacking.empty() || m_x->hasClientList) {
        for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) {
            windows.push_back(static_cast<WindowId>(*it));
        }
        return windows;
    }
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(m_x->display, m_x->root, &rootReturn, &parent, &children, &count) != 0) {
        for (unsigned int i = count; i > 0; --i) {
            windows.push_back(static_cast<WindowId>(children[i - 1]));
        }
        if (children != nullptr) {
            XFree(children);
        }
    }
    return windows;
}

std::vector<ProcessId> X11DesktopWindows::DesktopProcesses() {
    DrainAfter drain(*this);
    std::vector<ProcessId> ids;
    if (!Available()) {
        return ids;
    }
    // The window manager names itself on its check window.
    const auto check = m_x->Numbers(m_x->root, m_x->wmCheckAtom, XA_WINDOW);
    if (!check.empty()) {
        if (const auto pid = ProcessOf(static_cast<WindowId>(check.front()))) {
            ids.push_back(*pid);
        }
    }
    // The X server is no client of itself: it is known by its program's name.
    static const std::set<std::string> servers{"Xorg",   "X",     "Xvfb", "Xwayland",
                                               "Xephyr", "Xnest", "Xvnc", "Xtigervnc"};
    for (const auto& process : m_processes.List()) {
        const std::size_t slash = process.executable.find_last_of('/');
        const std::string name =
            slash == std::string::npos ? process.executable : process.executable.substr(slash + 1);
        if (servers.count(name) != 0) {
            ids.push_back(process.id);
        }
    }
    return ids;
}

bool X11DesktopWindows::SuspendScreenSaver(bool on) {
    DrainAfter drain(*this);
    m_saverSuspended = on;
    if (!Available()) {
        return false;
    }
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(m_x->display, &eventBase, &errorBase)) {
        return false;
    }
    if (on != m_x->screenSaverSuspended) {
        XScreenSaverSuspend(m_x->display, on ? True : False);
        XFlush(m_x->display);
        m_x->screenSaverSuspended = on;
    }
    return true;
}

}  // namespace ko
