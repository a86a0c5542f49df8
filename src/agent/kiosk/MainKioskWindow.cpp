#include "agent/kiosk/MainKioskWindow.h"

#include "agent/core/AgentGlobals.h"
#include "agent/core/PageAddress.h"
#include "agent/core/wsClient.h"
#include "agent/kiosk/frmChangePassword.h"
#include "agent/kiosk/frmCustomerHistory.h"
#include "agent/kiosk/frmLogonUser.h"
#include "agent/kiosk/frmNetConfig.h"
#include "agent/kiosk/frmServiceOrder.h"
#include "agent/messages/MessageWindow.h"
#include "platform/KioskScreens.h"
#include "shared/Guard.h"
#include "shared/Logger.h"
#include "shared/WatcherChannel.h"

namespace ko {

namespace {

constexpr KeyInfo kAltF6{117, 4};

}  // namespace

MainKioskWindow::MainKioskWindow(KioskContext& context, KioskForms forms)
    : m_context(context),
      m_forms(forms),
      m_binding(context.globals.regional),
      m_tmrWindowFocus(context.loop, [this] { OnWindowFocusTimer(); }) {
    m_tmrWindowFocus.SetInterval(kWindowFocusIntervalMs);
}

MainKioskWindow::~MainKioskWindow() = default;

bool MainKioskWindow::Attach() {
    if (m_window) {
        return true;
    }
    if (m_context.screens == nullptr) {
        return false;
    }
    BrowserWindowSpec spec;
    spec.caption = m_caption;
    spec.framed = false;
    spec.blockContextMenu = true;
    spec.cancelClickDefault = false;
    spec.swallowedKeys = {kAltF6};
    spec.formName = kFormName;
    m_window = m_context.screens->CreateBrowserWindow(spec, *this);
    if (!m_window) {
        Logger::Error("kiosk: the main window could not be created");
        return false;
    }
    m_window->SetTopmost(m_topmost);
    if (m_keyboardGrabbed) {
        m_window->GrabKeyboard(true);
    }
    if (!m_requested.empty()) {
        m_window->Navigate(m_requested);
    }
    if (m_shown) {
        PosForm();
    }
    return true;
}

void MainKioskWindow::Navigate(const std::string& url) {
    Logger::Debug("kiosk: show page " + url);
    m_requested = url;
    if (m_window) {
        m_window->Navigate(url);
    }
}

std::string MainKioskWindow::LocationURL() const {
    return m_window ? m_window->Location() : m_requested;
}

void MainKioskWindow::SetBodyHtml(const std::string& html) {
    if (m_window) {
        m_window->SetBodyHtml(html);
    }
}

void MainKioskWindow::SetInnerTexts(const std::vector<std::pair<std::string, std::string>>& texts) {
    if (m_window) {
        m_window->SetInnerTexts(texts);
    }
}

void MainKioskWindow::Show() {
    m_shown = true;
    if (m_window) {
        m_window->Show(true);
    }
}

void MainKioskWindow::Hide() {
    m_shown = false;
    if (m_window) {
        m_window->Hide();
    }
}

void MainKioskWindow::SetCaption(const std::string& caption) {
    m_caption = caption;
    if (m_window) {
        m_window->SetCaption(caption);
    }
}

void MainKioskWindow::ForceForeground() {
    if (m_window) {
        m_window->ForceForeground();
    }
}

bool MainKioskWindow::GrabKeyboard(bool grab) {
    m_keyboardGrabbed = grab;
    return m_window && m_window->GrabKeyboard(grab);
}

void MainKioskWindow::SetTopmost(bool topmost) {
    m_topmost = topmost;
    if (m_window) {
        m_window->SetTopmost(topmost);
    }
}

void MainKioskWindow::SetPosition(const std::string& vertical, const std::string& horizontal) {
    MainVerticalPosition = vertical;
    MainHorizontalPosition = horizontal;
}

void MainKioskWindow::PosForm() {
    if (!m_window) {
        return;
    }
    const PlacementScreen screen = m_context.Screen();
    // The window's designed size is the work area.
    const TwipsSize current =
        m_frame.value_or(TwipsSize{std::int64_t{screen.workArea.width} * screen.twips.x,
                                   std::int64_t{screen.workArea.height} * screen.twips.y});
    m_frame = WindowPlacement::MainSize(screen, current, MainWidth, MainHeight);
    const PixelRect rect = WindowPlacement::Place(
        screen, *m_frame, MainVerticalPosition + "-" + MainHorizontalPosition);
    // The window is placed where it stands: hiding it first would drop the lock's keyboard
    // grab on a display that grabs per mapped window.
    if (WindowPlacement::Fits(screen, rect.width, rect.height)) {
        m_window->Resize(rect.width, rect.height);
    }
    m_window->Move(rect.left, rect.top);
    m_shown = true;
    // The strip a customer works beside does not take the keyboard from the customer's program.
    m_window->Show(!(m_context.State() == 1 && m_context.globals.MainWindowMinimized));
}

void MainKioskWindow::DisplayMinimizedWindow() {
    // The flag first, so that the placement already knows which page it shows.
    m_context.globals.MainWindowMinimized = true;
    Navigate(MinimizedPageAddress(m_context.globals));
    PosForm();
}

void MainKioskWindow::DispalyNormalWindow() {
    m_context.globals.MainWindowMinimized = false;
    Navigate(MainPageAddress(m_context.globals));
    PosForm();
}

void MainKioskWindow::OnNavigating(const std::string&) {
    m_binding.Release();  // no clicks reach the window while a page loads
}

void MainKioskWindow::OnDocumentComplete(const DocumentInfo& document) {
    Guarded("main page complete", [&] {
        m_binding.Bind(document.generation);
        const LayoutValues& layout = document.layout;
        const RegionalSettings& regional = m_context.globals.regional;
        if (layout.horizontalPosition) {
            MainHorizontalPosition = *layout.horizontalPosition;
        }
        if (layout.verticalPosition) {
            MainVerticalPosition = *layout.verticalPosition;
        }
        if (layout.width) {
            if (auto width = NumberRules::ToInt32(*layout.width, regional)) {
                MainWidth = *width;
            }
        }
        MainHeight = 0;
        if (layout.height) {
            if (auto height = NumberRules::ToInt32(*layout.height, regional)) {
                MainHeight = *height;
            }
        }
        PosForm();
    });
}

void MainKioskWindow::OnClick(const ClickInfo& click) {
    Guarded("main page click", [&] {
        if (std::optional<koClientBrowser> selected = m_binding.Resolve(click)) {
            RunCommand(*selected);
        }
    });
}

void MainKioskWindow::OnKeyDown(const KeyInfo&) {
    // Alt+F6 is swallowed by the window itself.
    Guarded("main window key", [this] { m_context.UserActivity(); });
}

void MainKioskWindow::OnMouseMove() {
    Guarded("main window mouse", [this] { m_context.UserActivity(); });
}

void MainKioskWindow::RunCommand(const koClientBrowser& selected) {
    const std::string& command = selected.SelectedCommand;
    MessageWindow& messages = m_context.messages;
    if (command == "cmdLogon") {
        m_forms.logon.ShowForm("Logon");
    } else if (command == "cmdLogoff") {
        Logoff();
    } else if (command == "cmdChangePassword") {
        m_forms.changePassword.ShowForm("ChangePassword");
    } else if (command == "cmdShowHistory") {
        m_forms.history.ShowForm("ShowHistory", selected.CurrentCustomer);
    } else if (command == "cmdNetConfig") {
        m_forms.netConfig.Show();
    } else if (command == "cmdCloseWorkstation") {
        if (m_context.globals.options.wsSecureWorkstation != 0) {
            messages.ShowForm("SecurityPassword", "", "", "0", 0);
        } else {
            messages.ShowForm("ShowSecurityAlert", "", "", "", 0);
        }
    } else if (command == "cmdMakeOrder") {
        m_forms.serviceOrder.ShowForm("MakeOrder", "");
    } else if (command == "cmdApplication") {
        // Started in the customer's session as the customer, as the session's own start list
        // is, never as the service's account.
        if (!selected.FileName.empty()) {
            m_context.watcher.SendMessageToExe("KOW_Run_Application", selected.FileName);
        }
    } else if (command == "ExpandWindow") {
        DispalyNormalWindow();
    } else if (command == "CollapseWindow") {
        DisplayMinimizedWindow();
    } else if (command == "cmdShowSessionHistory") {
        m_forms.history.ShowForm("ShowSessionHistory", selected.CurrentCustomer);
    }
}

void MainKioskWindow::Logoff() {
    MessageWindow& messages = m_context.messages;
    messages.ShowForm("ShowMessage", "Are you sure you want to logoff?", "503", "", 0);
    // The question waited in a nested loop: the session may have ended meanwhile (the server
    // freed the workstation, the lock closed the question unanswered). Only a yes to this
    // question, with the customer still logged on, logs off.
    if (messages.KoActionApproved() && m_context.client != nullptr && m_context.State() == 1) {
        m_context.client->logoffUser();
    }
    messages.Unload();
}

void MainKioskWindow::OnWindowFocusTimer() {
    if (m_window && !m_window->IsActive() && !m_context.globals.MainWindowMinimized) {
        DisplayMinimizedWindow();
    }
}

}  // namespace ko
