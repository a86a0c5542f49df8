#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "agent/kiosk/BillingDisplay.h"
#include "agent/kiosk/KioskContext.h"
#include "agent/kiosk/KioskWindow.h"
#include "agent/kiosk/MainKioskWindow.h"
#include "agent/kiosk/frmChangePassword.h"
#include "agent/kiosk/frmCustomerHistory.h"
#include "agent/kiosk/frmLogonUser.h"
#include "agent/kiosk/frmNetConfig.h"
#include "agent/kiosk/frmServiceOrder.h"
#include "platform/Desktop.h"
#include "shared/LoopTimer.h"

namespace ko {

class KioskScreensSource;

// The kiosk screens: the main window, its dialogs, the network dialog and the billing display,
// on whatever screens the program has. Without a display (a headless Linux machine) the kiosk is
// not supported: it keeps what it is told, and the rest of the agent runs as usual. A display
// that is configured but does not answer yet is asked for again every 10 seconds.
class Kiosk : public KioskWindow, public BillingDisplay, private DesktopEvents {
  public:
    static constexpr std::uint32_t kScreensRetryMs = 10000;
    // The exit code when the display goes away for good: the service manager starts the agent
    // again, and it waits for a display as at start.
    static constexpr int kDisplayLostExitCode = 2;

    Kiosk(EventLoop& loop, AgentGlobals& globals, RegistryModule& registry, MessageWindow& messages,
          Advertising& advertising, WatcherChannel& watcher, KioskScreensSource* source);
    ~Kiosk() override;
    Kiosk(const Kiosk&) = delete;
    Kiosk& operator=(const Kiosk&) = delete;

    bool Supported() const { return m_supported; }
    bool HasScreens() const { return m_context.screens != nullptr; }

    // KioskWindow
    void SetClient(wsClient* client, ServerLink* link) override;
    void Navigate(const std::string& url) override { m_main.Navigate(url); }
    std::string LocationURL() override { return m_main.LocationURL(); }
    std::string LocationName() override;
    void SetBodyHtml(const std::string& html) override { m_main.SetBodyHtml(html); }
    // The browser fills the window's client area by itself.
    void MoveBrowserToTopLeft() override {}
    void ShowMainForm() override { m_main.Show(); }
    void HideMainForm() override { m_main.Hide(); }
    void SetCaption(const std::string& caption) override { m_main.SetCaption(caption); }
    void DisplayMinimizedWindow() override { m_main.DisplayMinimizedWindow(); }
    void DispalyNormalWindow() override { m_main.DispalyNormalWindow(); }
    void PosForm() override { m_main.PosForm(); }
    void SetWindowFocusTimer(bool enabled) override { m_main.SetWindowFocusTimer(enabled); }
    // The flag itself lives in the agent's globals, where the state logic sets it.
    void SetMainWindowMinimized(bool) override {}
    void SetMainPosition(const std::string& vertical, const std::string& horizontal) override {
        m_main.SetPosition(vertical, horizontal);
    }
    void SetMainTopmost(bool topmost) override { m_main.SetTopmost(topmost); }
    void UnloadForms() override;
    void ForceForeground() override { m_main.ForceForeground(); }
    bool GrabKeyboard(bool grab) override { return m_main.GrabKeyboard(grab); }
    std::string IsOwnWindow(std::uint64_t handle) override;
    // Forms of other parts of the agent (the time-out strip, advertising) that UnloadForms
    // unloads with the kiosk's own.
    void AddOtherForm(std::function<void()> unload) { m_otherForms.push_back(std::move(unload)); }

    // BillingDisplay
    void UpdateBillingInformation() override;
    // The labels and texts a refresh writes, in the page's order.
    std::vector<std::pair<std::string, std::string>> BillingTexts() const;

    MainKioskWindow& Main() { return m_main; }
    frmLogonUser& LogonUser() { return m_logonUser; }
    frmChangePassword& ChangePassword() { return m_changePassword; }
    frmServiceOrder& ServiceOrder() { return m_serviceOrder; }
    frmCustomerHistory& CustomerHistory() { return m_customerHistory; }
    frmNetConfig& NetConfig() { return m_netConfig; }

  private:
    void OpenScreens();
    void OnDisplayChanged() override;
    void OnDisplayLost() override;

    KioskContext m_context;
    KioskScreensSource* m_source;
    frmLogonUser m_logonUser;
    frmChangePassword m_changePassword;
    frmServiceOrder m_serviceOrder;
    frmCustomerHistory m_customerHistory;
    frmNetConfig m_netConfig;
    MainKioskWindow m_main;
    LoopTimer m_tmrScreens;
    std::vector<std::function<void()>> m_otherForms;
    bool m_supported = false;
};

}  // namespace ko
