#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/kiosk/DocumentBinding.h"
#include "agent/kiosk/KioskContext.h"
#include "agent/kiosk/WindowPlacement.h"
#include "agent/kiosk/koClientBrowser.h"
#include "platform/BrowserWindow.h"
#include "shared/LoopTimer.h"

namespace ko {

class frmChangePassword;
class frmCustomerHistory;
class frmLogonUser;
class frmNetConfig;
class frmServiceOrder;

// The forms the kiosk page's commands open.
struct KioskForms {
    frmLogonUser& logon;
    frmChangePassword& changePassword;
    frmServiceOrder& serviceOrder;
    frmCustomerHistory& history;
    frmNetConfig& netConfig;
};

// What the customer sees of `frmLogon`: the main window with the server's kiosk page (or the
// local stopped page), sized and placed by the page, collapsing to a strip while a customer works
// elsewhere. Without a display it keeps everything it is told and shows it once a display comes.
class MainKioskWindow : public BrowserWindowEvents {
  public:
    static constexpr std::uint32_t kWindowFocusIntervalMs = 3000;
    static constexpr const char* kFormName = "frmLogon";

    MainKioskWindow(KioskContext& context, KioskForms forms);
    ~MainKioskWindow() override;
    MainKioskWindow(const MainKioskWindow&) = delete;
    MainKioskWindow& operator=(const MainKioskWindow&) = delete;

    // A display came: the window is created and shows what the kiosk was told so far. False when
    // the window cannot be created.
    bool Attach();

    void Navigate(const std::string& url);
    std::string LocationURL() const;
    void SetBodyHtml(const std::string& html);
    void SetInnerTexts(const std::vector<std::pair<std::string, std::string>>& texts);
    void Show();
    void Hide();
    void SetCaption(const std::string& caption);
    void SetTopmost(bool topmost);
    // For the lock (kept for a display that comes later).
    void ForceForeground();
    bool GrabKeyboard(bool grab);
    void SetPosition(const std::string& vertical, const std::string& horizontal);
    void SetWindowFocusTimer(bool enabled) { m_tmrWindowFocus.SetEnabled(enabled); }
    bool WindowFocusTimerEnabled() const { return m_tmrWindowFocus.Enabled(); }

    void PosForm();
    void DisplayMinimizedWindow();
    void DispalyNormalWindow();

    BrowserWindow* Window() const { return m_window.get(); }

    // The layout values of the last page (and the start-up placement).
    std::string MainVerticalPosition = "bottom";
    std::string MainHorizontalPosition = "right";
    std::int32_t MainWidth = 0;
    std::int32_t MainHeight = 0;

  private:
    void OnNavigating(const std::string& url) override;
    void OnDocumentComplete(const DocumentInfo& document) override;
    void OnClick(const ClickInfo& click) override;
    void OnKeyDown(const KeyInfo& key) override;
    void OnMouseMove() override;

    void RunCommand(const koClientBrowser& selected);
    void Logoff();
    void OnWindowFocusTimer();

    KioskContext& m_context;
    KioskForms m_forms;
    std::unique_ptr<BrowserWindow> m_window;
    DocumentBinding m_binding;
    LoopTimer m_tmrWindowFocus;
    // pctMainFrame: the window's size in twips; the work area until a page asks otherwise.
    std::optional<TwipsSize> m_frame;
    // What the window was told, for a display that comes later.
    std::string m_requested;
    std::string m_caption = "Ostrel";
    bool m_topmost = false;
    bool m_keyboardGrabbed = false;
    bool m_shown = false;
};

}  // namespace ko
