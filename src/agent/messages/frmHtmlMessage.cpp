#include "agent/messages/frmHtmlMessage.h"

#include <algorithm>

#include "agent/core/AgentGlobals.h"
#include "agent/kiosk/KioskContext.h"
#include "agent/kiosk/WindowPlacement.h"
#include "agent/messages/MessageText.h"
#include "platform/EventLoop.h"
#include "platform/KioskScreens.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

frmHtmlMessage::frmHtmlMessage(EventLoop& loop, AgentGlobals& globals,
                               std::function<KioskScreens*()> screens)
    : m_loop(loop),
      m_globals(globals),
      m_screens(std::move(screens)),
      m_binding(globals.regional),
      m_tmrPage(loop, [this] { FallBack(); }) {
    m_tmrPage.SetInterval(kPageTimeoutMs);
}

frmHtmlMessage::~frmHtmlMessage() = default;

bool frmHtmlMessage::EnsureWindow() {
    if (m_window) {
        return true;
    }
    KioskScreens* screens = m_screens ? m_screens() : nullptr;
    if (screens == nullptr) {
        return false;
    }
    BrowserWindowSpec spec;
    spec.caption = kCaption;
    spec.formName = "frmHtmlMessage";
    spec.framed = true;
    spec.blockContextMenu = true;
    // The click handler answers false: a link on the message page goes nowhere.
    spec.cancelClickDefault = true;
    m_window = screens->CreateBrowserWindow(spec, *this);
    if (!m_window) {
        Logger::Debug("message window: the window could not be created");
        return false;
    }
    Place();
    return true;
}

void frmHtmlMessage::Place() {
    KioskScreens* screens = m_screens ? m_screens() : nullptr;
    if (screens == nullptr || !m_window) {
        return;
    }
    const Desktop& desktop = screens->GetDesktop();
    PlacementScreen screen;
    screen.workArea = desktop.WorkArea();
    screen.twips = desktop.Twips();
    screen.maxWindow = desktop.MaxWindowSize();
    const std::int64_t width = WindowPlacement::ToPixels(kWidthTwips, screen.twips.x);
    const std::int64_t height = WindowPlacement::ToPixels(kHeightTwips, screen.twips.y);
    if (!WindowPlacement::Fits(screen, width, height)) {
        return;
    }
    m_window->Resize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    // Centred in the work area.
    m_window->Move(
        static_cast<std::int32_t>(screen.workArea.left + (screen.workArea.width - width) / 2),
        static_cast<std::int32_t>(screen.workArea.top + (screen.workArea.height - height) / 2));
}

void frmHtmlMessage::ShowForm(const std::string& kind, const std::string& msgEnglish,
                              const std::string& msgID, const std::string& msgParametar,
                              std::int16_t msgBoxStyle) {
    if (kind == "cmdClose" || kind == "cmdCancel") {
        if (m_current) {
            AnswerCurrent(false);
        } else {
            HideWindow();
        }
        return;
    }
    if (kind == "SecurityPassword") {
        ShowLocalPage(Page::Password, "wsPassword.htm");
        return;
    }
    if (kind == "ShowSecurityAlert") {
        ShowLocalPage(Page::SecurityOptions, "wsSecurityOptions.htm");
        return;
    }
    if (kind != "ShowMessage") {
        return;
    }
    if (!EnsureWindow()) {
        // Without a display nobody could ever answer: the question is a no at once.
        Logger::Info("message " + msgID + " not shown, no display: " + msgEnglish);
        m_approved = false;
        return;
    }
    if (Waiting() >= kMaxWaiting) {
        Logger::Error("message " + msgID + " refused: " + std::to_string(kMaxWaiting) +
                      " messages wait already");
        m_approved = false;
        return;
    }
    auto request = std::make_shared<Request>();
    request->msgEnglish = msgEnglish;
    request->msgID = msgID;
    request->msgParametar = msgParametar;
    request->msgBoxStyle = msgBoxStyle;
    m_queue.push_back(request);
    if (!m_current) {
        ShowNext();
    }
    // Timers, the link and the watcher's messages go on while the customer reads.
    m_loop.RunUntil([&request] { return request->answered; });
    if (!request->answered) {
        Answer(request, false);  // the program quits
    }
    m_approved = request->approved;
}

void frmHtmlMessage::ShowNext() {
    m_current.reset();
    if (m_queue.empty() || !m_window) {
        HideWindow();
        return;
    }
    m_current = m_queue.front();
    m_queue.pop_front();
    const Request& request = *m_current;
    LoadPage(Page::Server, MessageText::MessageAddress(m_globals, request.msgID, request.msgEnglish,
                                                       request.msgParametar, request.msgBoxStyle));
    m_tmrPage.SetEnabled(true);
    // While it shows, the kiosk and its dialogs take no input.
    m_window->SetModal(true);
    m_window->Show(true);
    m_window->SetTopmost(true);
}

void frmHtmlMessage::LoadPage(Page page, const std::string& address) {
    m_page = page;
    m_address = address;
    m_pageShown = false;
    m_tmrPage.SetEnabled(false);
    m_window->SetBodyHtml(KioskContext::kWaitBody);
    m_window->Navigate(address);
    // A click of the page shown so far is no answer to what loads now.
    m_binding.Release();
}

void frmHtmlMessage::ShowLocalPage(Page page, const std::string& fileName) {
    if (m_current) {
        // The kiosk takes no input while a message shows, so nobody asks; a question stays.
        return;
    }
    if (!EnsureWindow()) {
        Logger::Debug("message window: no display for " + fileName);
        return;
    }
    LoadPage(page, m_globals.ProgramFolder + "/" + fileName);
    m_window->SetModal(false);
    m_window->Show(true);
    m_window->SetTopmost(true);
}

void frmHtmlMessage::Answer(const std::shared_ptr<Request>& request, bool approved) {
    if (request->answered) {
        return;
    }
    request->answered = true;
    request->approved = approved;
    if (request == m_current) {
        ShowNext();
    } else {
        m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), request), m_queue.end());
    }
}

void frmHtmlMessage::AnswerCurrent(bool approved) {
    if (m_current) {
        Answer(m_current, approved);
    }
}

void frmHtmlMessage::HideWindow() {
    m_tmrPage.SetEnabled(false);
    m_page = Page::None;
    m_pageShown = false;
    m_binding.Release();
    if (m_window) {
        m_window->SetModal(false);
        m_window->Hide();
    }
}

void frmHtmlMessage::Unload() {
    // Every waiting caller gets its no; the callers' loops end as this handler returns.
    std::deque<std::shared_ptr<Request>> waiting;
    waiting.swap(m_queue);
    if (m_current) {
        waiting.push_front(m_current);
        m_current.reset();
    }
    for (const auto& request : waiting) {
        request->answered = true;
        request->approved = false;
    }
    m_tmrPage.SetEnabled(false);
    m_page = Page::None;
    m_pageShown = false;
    m_binding.Release();
    m_window.reset();
}

void frmHtmlMessage::FallBack() {
    m_tmrPage.SetEnabled(false);
    if (!m_current || m_page != Page::Server || !m_window) {
        return;
    }
    Logger::Info("message " + m_current->msgID +
                 ": the server's message page did not come; showing the message here");
    // The box is written into a blank document once it has loaded: only a loaded document
    // reports the clicks on its buttons. Blanking also stops the late page.
    m_page = Page::Fallback;
    m_address = "about:blank";
    m_pageShown = false;
    m_window->Blank();
    m_binding.Release();
}

void frmHtmlMessage::OnNavigating(const std::string&) {
    m_binding.Release();
}

void frmHtmlMessage::OnDocumentComplete(const DocumentInfo& document) {
    Guarded("message page complete", [&] {
        switch (m_page) {
            case Page::None:
                return;
            case Page::Fallback:
                if (m_current) {
                    const Request& request = *m_current;
                    m_window->SetBodyHtml(MessageText::LocalBoxHtml(
                        request.msgEnglish, request.msgParametar, request.msgBoxStyle));
                    m_binding.Bind(document.generation);
                    m_pageShown = true;
                }
                return;
            case Page::Server:
                if (document.failed || document.location != m_address) {
                    // No page, an error status, or an engine that shows where it is rather
                    // than what was asked: the customer gets the local box instead.
                    FallBack();
                    return;
                }
                m_tmrPage.SetEnabled(false);
                break;
            case Page::Password:
            case Page::SecurityOptions:
                break;
        }
        m_binding.Bind(document.generation);
        // A page that went on elsewhere on its own is not the page asked for.
        m_pageShown = document.location == m_address;
    });
}

void frmHtmlMessage::OnClick(const ClickInfo& click) {
    Guarded("message click", [&] {
        std::optional<koClientBrowser> selected = m_binding.Resolve(click);
        if (!selected) {
            return;
        }
        const std::string& command = selected->SelectedCommand;
        if (command == "cmdOK" || command == "cmdCancel") {
            if (m_current) {
                AnswerCurrent(command == "cmdOK");
            } else {
                HideWindow();
            }
        } else if (command == "cmdSecureClose") {
            // Only on our own password page: a server page could carry the same id.
            if (m_page == Page::Password && m_pageShown) {
                SecureClose(selected->sPassword);
            }
        } else if (command == "cmdSecurityOptions") {
            if (m_page == Page::SecurityOptions && m_pageShown) {
                StopAgent();
            }
        }
    });
}

void frmHtmlMessage::SecureClose(const std::string& entered) {
    const std::string& stored = m_globals.options.wsSecurityPassword;
    // No password set means that nobody may close the agent here, not that anybody may.
    if (!stored.empty() && entered == stored) {
        StopAgent();
        return;
    }
    Logger::Info("closing the agent refused: wrong password");
    // The window stays with its page; the box runs the loop until it is closed.
    if (KioskScreens* screens = m_screens ? m_screens() : nullptr) {
        screens->ShowMessageBox("Wrong password", kCaption);
    }
}

void frmHtmlMessage::StopAgent() {
    // After the click event: the stop routine lets events run and ends the loop.
    m_loop.Post([this] {
        Guarded("stop from the message window", [this] {
            if (m_stopAgent) {
                m_stopAgent();
            }
        });
    });
}

void frmHtmlMessage::OnActivate() {
    if (m_window) {
        m_window->SetTopmost(true);
    }
}

void frmHtmlMessage::OnCloseBox() {
    Guarded("message close box", [this] {
        if (m_current) {
            AnswerCurrent(false);
        } else {
            HideWindow();
        }
    });
}

}  // namespace ko
