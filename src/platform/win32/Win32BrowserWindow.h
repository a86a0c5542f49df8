#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/BrowserWindow.h"
#include "platform/win32/ComPtr.h"
#include "platform/win32/DocumentEventHandler.h"
#include "platform/win32/HtmlDocumentAccess.h"
#include "platform/win32/WebBrowserSite.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Frame.h"

namespace ko {

// A kiosk window on Windows: a user32 frame that holds the WebBrowser control. The control is
// synchronous, so a click's chain and fields are read inside the document's onclick and only the
// data travels; every notice is posted to the loop and dropped once the window is gone.
class Win32BrowserWindow final : public BrowserWindow, private WebBrowserSiteListener {
  public:
    Win32BrowserWindow(Win32EventLoop& loop, const BrowserWindowSpec& spec,
                       BrowserWindowEvents& events);
    ~Win32BrowserWindow() override;
    Win32BrowserWindow(const Win32BrowserWindow&) = delete;
    Win32BrowserWindow& operator=(const Win32BrowserWindow&) = delete;

    // The frame exists and holds a browser.
    bool Created() const { return m_frame->Created() && m_site; }
    HWND Handle() const { return m_frame->Handle(); }
    // The current document, for tests that play the user; empty without one.
    ComPtr<IHTMLDocument2> Document() const;

    // ScreenWindow
    void Show(bool activate) override;
    void Hide() override;
    void Move(std::int32_t left, std::int32_t top) override;
    void Resize(std::int32_t width, std::int32_t height) override;
    void SetTopmost(bool topmost) override;
    void SetCaption(const std::string& caption) override;
    void SetModal(bool modal) override;
    void ForceForeground() override;
    bool GrabKeyboard(bool grab) override;
    std::uint64_t NativeHandle() const override;
    bool IsVisible() const override { return m_visible; }
    bool IsActive() const override { return m_active; }
    PixelRect Bounds() const override { return m_bounds; }

    // BrowserView
    void Navigate(const std::string& url) override;
    void Blank() override;
    void SetBodyHtml(const std::string& html) override;
    void SetInnerTexts(const std::vector<std::pair<std::string, std::string>>& texts) override;
    void Stop() override;
    std::string Location() const override;

  private:
    // Where the shown document came from, for Location().
    enum class Origin { Requested, Engine };

    void OnBeforeNavigate(bool topLevel, const std::string& url) override;
    void OnNavigateError(bool topLevel, const std::string& url, long status) override;
    void OnDocumentComplete(bool topLevel, const std::string& url) override;
    bool ContextMenuBlocked() const override { return m_spec.blockContextMenu; }

    void OnFrameActivate(bool active);
    bool FilterMessage(const MSG& msg);
    bool OnDocumentClick();
    void BindDocument(const ComPtr<IHTMLDocument2>& document);
    void ReleaseDocument();
    void RememberBounds();
    // An advertisement covers the screen as the system has it now.
    void CoverScreen();
    // Delivers notice from the loop, unless the window is gone by then.
    void Post(std::function<void(BrowserWindowEvents&)> notice);

    Win32EventLoop& m_loop;
    BrowserWindowSpec m_spec;
    BrowserWindowEvents& m_events;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::unique_ptr<Win32Frame> m_frame;
    ComPtr<WebBrowserSite> m_site;
    Win32EventLoop::FilterId m_filter = 0;

    ComPtr<IHTMLDocument2> m_boundDocument;
    ComPtr<DocumentEventHandler> m_clickHandler;
    std::uint32_t m_generation = 0;

    std::string m_requested;
    std::string m_engineLocation;
    Origin m_origin = Origin::Engine;
    // The next top-level navigation start is the one Navigate asked for.
    bool m_ownStartExpected = false;
    bool m_failed = false;

    bool m_visible = false;
    bool m_active = false;
    bool m_mouseMovePending = false;
    PixelRect m_bounds;
};

}  // namespace ko
