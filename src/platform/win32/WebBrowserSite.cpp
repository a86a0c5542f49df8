#include "platform/win32/WebBrowserSite.h"

#include <exdispid.h>
#include <ocidl.h>

#include "platform/win32/AnsiText.h"
#include "platform/win32/DispatchArguments.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

namespace {

// The document's command group in which it asks its host about script errors.
const GUID kDocHostCommandHandler = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

// Keys the browser must not act on in a kiosk: those that open something outside the page (a new
// window; the Open dialog, whose Browse button reaches the file system; the print dialog, print
// to file the same) and those that reload the page, because a reload brings a new document
// without a completion notice, so its buttons would no longer answer.
bool SwallowedByTheHost(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) {
        return false;
    }
    if (msg.wParam == VK_F5) {
        return true;
    }
    if ((GetKeyState(VK_CONTROL) & 0x8000) == 0) {
        return false;
    }
    switch (msg.wParam) {
        case 'N':
        case 'O':
        case 'P':
        case 'L':
        case 'R':
            return true;
        default:
            return false;
    }
}

}  // namespace

WebBrowserSite::WebBrowserSite(HWND window, WebBrowserSiteListener* listener)
    : m_window(window), m_listener(listener) {}

ComPtr<WebBrowserSite> WebBrowserSite::Create(HWND window, WebBrowserSiteListener* listener) {
    ComPtr<WebBrowserSite> site;
    site.Attach(new WebBrowserSite(window, listener));
    if (!site->Start()) {
        site->Close();
        site.Reset();
    }
    return site;
}

bool WebBrowserSite::Start() {
    // No document mode is chosen for the program: the control keeps its default (IE7) mode,
    // which the server's pages are written for.
    HRESULT result = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IOleObject, m_object.PutVoid());
    if (FAILED(result) || !m_object) {
        Logger::Error("WebBrowserSite: WebBrowser control not created");
        return false;
    }
    if (FAILED(m_object->SetClientSite(static_cast<IOleClientSite*>(this)))) {
        return false;
    }
    OleSetContainedObject(m_object.Get(), TRUE);
    RECT rect;
    GetClientRect(m_window, &rect);
    result = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this),
                              0, m_window, &rect);
    if (FAILED(result) || FAILED(m_object.QueryInterface(IID_IWebBrowser2, m_browser))) {
        Logger::Error("WebBrowserSite: WebBrowser control not activated");
        return false;
    }
    ComPtr<IConnectionPointContainer> points;
    if (FAILED(m_object.QueryInterface(IID_IConnectionPointContainer, points)) ||
        FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, m_events.Put())) ||
        FAILED(m_events->Advise(static_cast<IDispatch*>(this), &m_cookie))) {
        // Without events no page would ever count as loaded, and new windows would open.
        Logger::Error("WebBrowserSite: browser events not connected");
        return false;
    }
    return true;
}

void WebBrowserSite::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_listener = nullptr;
    if (m_events && m_cookie != 0) {
        m_events->Unadvise(m_cookie);
    }
    m_events.Reset();
    m_active.Reset();
    m_browser.Reset();
    if (m_object) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(m_object.QueryInterface(IID_IOleInPlaceObject, inPlace))) {
            inPlace->InPlaceDeactivate();
        }
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
        m_object.Reset();
    }
}

void WebBrowserSite::FitToWindow() {
    if (!m_object) {
        return;
    }
    RECT rect;
    GetClientRect(m_window, &rect);
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(m_object.QueryInterface(IID_IOleInPlaceObject, inPlace))) {
        inPlace->SetObjectRects(&rect, &rect);
    }
}

void WebBrowserSite::Focus() {
    if (!m_object) {
        return;
    }
    RECT rect;
    GetClientRect(m_window, &rect);
    m_object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0, m_window,
                     &rect);
}

bool WebBrowserSite::TranslateAccelerator(const MSG& msg) {
    ComPtr<IOleInPlaceActiveObject> active = m_active;
    if (!active && m_object) {
        m_object.QueryInterface(IID_IOleInPlaceActiveObject, active);
    }
    return active && active->TranslateAccelerator(const_cast<MSG*>(&msg)) == S_OK;
}

bool WebBrowserSite::IsTopLevel(IDispatch* frame) const {
    if (frame == nullptr || !m_browser) {
        return false;
    }
    // COM identity: the same object gives the same IUnknown.
    ComPtr<IUnknown> mine;
    ComPtr<IUnknown> theirs;
    m_browser->QueryInterface(IID_IUnknown, mine.PutVoid());
    frame->QueryInterface(IID_IUnknown, theirs.PutVoid());
    return mine && mine.Get() == theirs.Get();
}

HRESULT WebBrowserSite::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
        *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
        *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
        *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (IsEqualIID(iid, IID_IDocHostUIHandler)) {
        *out = static_cast<IDocHostUIHandler*>(this);
    } else if (IsEqualIID(iid, IID_IOleCommandTarget)) {
        *out = static_cast<IOleCommandTarget*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
        *out = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG WebBrowserSite::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

ULONG WebBrowserSite::Release() {
    LONG left = InterlockedDecrement(&m_references);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT WebBrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker != nullptr) {
        *moniker = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT WebBrowserSite::GetContainer(IOleContainer** container) {
    if (container != nullptr) {
        *container = nullptr;
    }
    return E_NOINTERFACE;
}

HRESULT WebBrowserSite::GetWindow(HWND* window) {
    if (window == nullptr) {
        return E_POINTER;
    }
    *window = m_window;
    return S_OK;
}

HRESULT WebBrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                         LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
        info == nullptr) {
        return E_POINTER;
    }
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(m_window, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = m_window;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT WebBrowserSite::OnPosRectChange(LPCRECT rect) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (rect != nullptr && m_object &&
        SUCCEEDED(m_object.QueryInterface(IID_IOleInPlaceObject, inPlace))) {
        inPlace->SetObjectRects(rect, rect);
    }
    return S_OK;
}

HRESULT WebBrowserSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
    m_active = ComPtr<IOleInPlaceActiveObject>(active);
    return S_OK;
}

HRESULT WebBrowserSite::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // S_OK: the host showed its own menu (none); S_FALSE: the browser shows its menu.
    return m_listener == nullptr || m_listener->ContextMenuBlocked() ? S_OK : S_FALSE;
}

HRESULT WebBrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
}

HRESULT WebBrowserSite::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
    // S_OK: handled here (swallowed); S_FALSE: the browser handles the key as usual.
    return msg != nullptr && SwallowedByTheHost(*msg) ? S_OK : S_FALSE;
}

HRESULT WebBrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key != nullptr) {
        *key = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT WebBrowserSite::GetDropTarget(IDropTarget*, IDropTarget** target) {
    if (target != nullptr) {
        *target = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT WebBrowserSite::GetExternal(IDispatch** external) {
    if (external != nullptr) {
        *external = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT WebBrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return S_FALSE;
}

HRESULT WebBrowserSite::FilterDataObject(IDataObject*, IDataObject** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    return S_FALSE;
}

HRESULT WebBrowserSite::QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) {
    return OLECMDERR_E_UNKNOWNGROUP;
}

HRESULT WebBrowserSite::Exec(const GUID* group, DWORD id, DWORD, VARIANT*, VARIANT* out) {
    if (group == nullptr || !IsEqualGUID(*group, kDocHostCommandHandler)) {
        return OLECMDERR_E_UNKNOWNGROUP;
    }
    if (id != OLECMDID_SHOWSCRIPTERROR) {
        return OLECMDERR_E_NOTSUPPORTED;
    }
    // A script error of a server page never stops the kiosk with a dialog: scripts go on.
    if (out != nullptr) {
        VariantInit(out);
        out->vt = VT_BOOL;
        out->boolVal = VARIANT_TRUE;
    }
    return S_OK;
}

HRESULT WebBrowserSite::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT WebBrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT WebBrowserSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT WebBrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                               EXCEPINFO*, UINT*) {
    switch (id) {
        case DISPID_NEWWINDOW2:  // (ppDisp, Cancel)
        case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
            // A window of its own would sit outside the lock and the kiosk's control.
            SetCancel(params, 1);
            return S_OK;
        case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, TargetFrameName, PostData, ...)
            Guarded("BeforeNavigate2", [&] {
                if (m_listener != nullptr) {
                    m_listener->OnBeforeNavigate(IsTopLevel(DispatchArgument(params, 0)),
                                                 TextArgument(params, 1));
                }
            });
            return S_OK;
        case DISPID_NAVIGATEERROR:  // (pDisp, URL, Frame, StatusCode, Cancel)
            Guarded("NavigateError", [&] {
                if (m_listener != nullptr) {
                    m_listener->OnNavigateError(IsTopLevel(DispatchArgument(params, 0)),
                                                TextArgument(params, 1), LongArgument(params, 3));
                }
            });
            return S_OK;
        case DISPID_DOCUMENTCOMPLETE:  // (pDisp, URL)
            Guarded("DocumentComplete", [&] {
                if (m_listener != nullptr) {
                    m_listener->OnDocumentComplete(IsTopLevel(DispatchArgument(params, 0)),
                                                   TextArgument(params, 1));
                }
            });
            return S_OK;
        default:
            // Other events, and the ambient properties the control asks its site for: defaults.
            return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace ko
