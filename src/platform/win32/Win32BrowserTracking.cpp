#include "platform/win32/Win32BrowserTracking.h"

#include <exdispid.h>
#include <ocidl.h>

#include <set>
#include <utility>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/win32/DispatchArguments.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// The plumbing every event sink here shares: reference counting, and IDispatch without type
// information (the source calls Invoke with the event's DISPID).
template <typename Derived>
class EventSinkBase : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, Derived::EventsIid())) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&m_references));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&m_references);
        if (left == 0) {
            delete static_cast<Derived*>(this);
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }

    // Subscribes to source's events; false when it has no such events.
    bool Connect(IUnknown* source) {
        ComPtr<IUnknown> unknown(source);
        ComPtr<IConnectionPointContainer> points;
        if (FAILED(unknown.QueryInterface(IID_IConnectionPointContainer, points)) ||
            FAILED(points->FindConnectionPoint(Derived::EventsIid(), m_point.Put())) ||
            FAILED(m_point->Advise(static_cast<IDispatch*>(this), &m_cookie))) {
            m_point.Reset();
            m_cookie = 0;
            return false;
        }
        return true;
    }
    // Ends the subscription and forgets the owner: later events call nothing.
    void Disconnect() {
        m_owner = nullptr;
        if (m_point && m_cookie != 0) {
            m_point->Unadvise(m_cookie);
        }
        m_point.Reset();
        m_cookie = 0;
    }

  protected:
    explicit EventSinkBase(Win32BrowserTracking* owner) : m_owner(owner) {}
    virtual ~EventSinkBase() = default;

    Win32BrowserTracking* m_owner;

  private:
    LONG m_references = 1;
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

}  // namespace

// The sink of one browser's navigation events: one KoWebBrowser.
class BrowserEventSink final : public EventSinkBase<BrowserEventSink> {
  public:
    static ComPtr<BrowserEventSink> Create(Win32BrowserTracking* owner, ComPtr<IUnknown> identity) {
        ComPtr<BrowserEventSink> sink;
        sink.Attach(new BrowserEventSink(owner, std::move(identity)));
        return sink;
    }
    static REFIID EventsIid() { return DIID_DWebBrowserEvents2; }
    IUnknown* Identity() const { return m_identity.Get(); }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        // The handler may let messages run (its send to the agent does): whatever they do to the
        // tracker, this sink lives until the call returns.
        ComPtr<BrowserEventSink> self(this);
        switch (id) {
            case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, TargetFrameName, PostData,
                                          //  Headers, Cancel)
                Guarded("BeforeNavigate2", [&] {
                    bool cancel = false;
                    if (m_owner != nullptr) {
                        m_owner->OnBeforeNavigate(TextArgument(params, 1), cancel);
                    }
                    // The browser reads the flag as soon as this returns.
                    if (cancel) {
                        SetCancel(params, 6);
                    }
                });
                return S_OK;
            case DISPID_NAVIGATECOMPLETE2:  // (pDisp, URL)
                Guarded("NavigateComplete2", [&] {
                    if (m_owner != nullptr) {
                        m_owner->OnNavigateComplete(TextArgument(params, 1));
                    }
                });
                return S_OK;
            case DISPID_ONQUIT:
                Guarded("OnQuit", [&] {
                    if (m_owner != nullptr) {
                        m_owner->OnQuit(m_identity.Get());
                    }
                });
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    BrowserEventSink(Win32BrowserTracking* owner, ComPtr<IUnknown> identity)
        : EventSinkBase(owner), m_identity(std::move(identity)) {}

    ComPtr<IUnknown> m_identity;
};

// The sink of the shell window list's events.
class ShellWindowsEventSink final : public EventSinkBase<ShellWindowsEventSink> {
  public:
    static ComPtr<ShellWindowsEventSink> Create(Win32BrowserTracking* owner) {
        ComPtr<ShellWindowsEventSink> sink;
        sink.Attach(new ShellWindowsEventSink(owner));
        return sink;
    }
    static REFIID EventsIid() { return DIID_DShellWindowsEvents; }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        ComPtr<ShellWindowsEventSink> self(this);
        switch (id) {
            case DISPID_WINDOWREGISTERED:  // (lCookie)
                Guarded("WindowRegistered", [&] {
                    if (m_owner != nullptr) {
                        m_owner->OnWindowRegistered(LongArgument(params, 0));
                    }
                });
                return S_OK;
            case DISPID_WINDOWREVOKED:  // (lCookie)
                Guarded("WindowRevoked", [&] {
                    if (m_owner != nullptr) {
                        m_owner->OnWindowRevoked(LongArgument(params, 0));
                    }
                });
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    explicit ShellWindowsEventSink(Win32BrowserTracking* owner) : EventSinkBase(owner) {}
};

Win32BrowserTracking::Win32BrowserTracking(EventLoop& loop) : m_loop(loop) {}

Win32BrowserTracking::~Win32BrowserTracking() {
    *m_alive = false;
    Stop();
}

BrowserTracking::Status Win32BrowserTracking::CreateIECollection() {
    ReleaseShellWindows();
    HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                      m_shellWindows.PutVoid());
    if (FAILED(result) || !m_shellWindows) {
        WarnOnce("ShellWindows not available: browsers are not followed");
        m_shellWindows.Reset();
        return Status::Failed;
    }
    m_shellSink = ShellWindowsEventSink::Create(this);
    if (!m_shellSink->Connect(m_shellWindows.Get())) {
        // Wine's shell has no window list to subscribe to: every renewal ends here.
        WarnOnce("ShellWindows events not connected: browsers are not followed");
        ReleaseShellWindows();
        return Status::Failed;
    }
    // Browsers followed earlier stay followed; those open already are taken now.
    Sync(false);
    return Status::Tracking;
}

void Win32BrowserTracking::WarnOnce(const char* text) {
    // The subscription is renewed at every session change; a shell that cannot give it says so
    // the same way each time, and once is enough.
    if (!m_failureLogged) {
        m_failureLogged = true;
        Logger::Warning(text);
    }
}

void Win32BrowserTracking::ReleaseShellWindows() {
    if (m_shellSink) {
        m_shellSink->Disconnect();
        m_shellSink.Reset();
    }
    m_shellWindows.Reset();
}

void Win32BrowserTracking::Stop() {
    ReleaseShellWindows();
    // Emptied before the sinks let go, so a sink released here finds a consistent tracker.
    std::map<IUnknown*, ComPtr<BrowserEventSink>> browsers;
    browsers.swap(m_browsers);
    m_cookies.clear();
    for (auto& [identity, sink] : browsers) {
        sink->Disconnect();
    }
}

void Win32BrowserTracking::OnBeforeNavigate(const std::string& url, bool& cancel) {
    if (m_handler != nullptr) {
        m_handler->BeforeNavigate(url, cancel);
    }
}

void Win32BrowserTracking::OnNavigateComplete(const std::string& url) {
    if (m_handler != nullptr) {
        m_handler->NavigateComplete(url);
    }
}

void Win32BrowserTracking::OnQuit(IUnknown* identity) {
    // The browser is inside its own callback: its wrapper goes once that has returned.
    m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive), identity] {
        if (auto still = alive.lock(); still && *still) {
            Drop(identity);
        }
    });
}

void Win32BrowserTracking::OnWindowRegistered(long cookie) {
    // The list is read once the shell's callback has returned; the window that registered is
    // the one the list holds and the tracker does not follow yet (Item without an index would
    // give window 0, whichever registered).
    m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive), cookie] {
        if (auto still = alive.lock(); !still || !*still || !m_shellWindows) {
            return;
        }
        std::set<IUnknown*> before;
        for (const auto& entry : m_browsers) {
            before.insert(entry.first);
        }
        Sync(false);
        std::vector<IUnknown*> added;
        for (const auto& entry : m_browsers) {
            if (before.count(entry.first) == 0) {
                added.push_back(entry.first);
            }
        }
        if (added.size() == 1) {
            m_cookies[cookie] = added.front();
        }
    });
}

void Win32BrowserTracking::OnWindowRevoked(long cookie) {
    m_loop.Post([this, alive = std::weak_ptr<bool>(m_alive), cookie] {
        if (auto still = alive.lock(); !still || !*still) {
            return;
        }
        auto known = m_cookies.find(cookie);
        if (known != m_cookies.end()) {
            Drop(known->second);
        } else if (m_shellWindows) {
            // A window whose cookie is unknown (open before the subscription): whatever has left
            // the list goes.
            Sync(true);
        }
    });
}

void Win32BrowserTracking::Sync(bool dropMissing) {
    long count = 0;
    if (!m_shellWindows || FAILED(m_shellWindows->get_Count(&count))) {
        return;
    }
    std::set<IUnknown*> listed;
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IDispatch> window;
        if (m_shellWindows->Item(index, window.Put()) != S_OK || !window) {
            continue;
        }
        ComPtr<IWebBrowser2> browser;
        ComPtr<IUnknown> identity;
        if (FAILED(window.QueryInterface(IID_IWebBrowser2, browser)) ||
            FAILED(window.QueryInterface(IID_IUnknown, identity))) {
            continue;
        }
        listed.insert(identity.Get());
        if (m_browsers.count(identity.Get()) != 0) {
            continue;
        }
        ComPtr<BrowserEventSink> sink = BrowserEventSink::Create(this, identity);
        if (!sink->Connect(browser.Get())) {
            Logger::Debug("a browser window without navigation events is not followed");
            continue;
        }
        m_browsers.emplace(identity.Get(), std::move(sink));
    }
    if (!dropMissing) {
        return;
    }
    std::vector<IUnknown*> gone;
    for (const auto& entry : m_browsers) {
        if (listed.count(entry.first) == 0) {
            gone.push_back(entry.first);
        }
    }
    for (IUnknown* identity : gone) {
        Drop(identity);
    }
}

void Win32BrowserTracking::Drop(IUnknown* identity) {
    for (auto it = m_cookies.begin(); it != m_cookies.end();) {
        it = it->second == identity ? m_cookies.erase(it) : std::next(it);
    }
    auto found = m_browsers.find(identity);
    if (found == m_browsers.end()) {
        return;
    }
    ComPtr<BrowserEventSink> sink = std::move(found->second);
    m_browsers.erase(found);
    sink->Disconnect();
}

}  // namespace ko
