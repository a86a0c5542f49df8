#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "agent/kiosk/DocumentBinding.h"
#include "agent/messages/MessageWindow.h"
#include "platform/BrowserWindow.h"
#include "shared/LoopTimer.h"

namespace ko {

class EventLoop;
class KioskScreens;
struct AgentGlobals;

// `frmHtmlMessage`: the agent's one message box, drawn by the server's message page, and the
// window of the two local pages that guard closing the agent.
//
// Every "ShowMessage" is a request with its own answer. Requests show one at a time in the order
// they came; the caller's ShowForm runs a nested loop until its own request is answered (server
// messages and the watcher's refusals run in that loop and may ask again), the window is unloaded
// or the program quits, and leaves KoActionApproved at that answer as it returns. A server page
// that does not come within 15 s, or fails, gives way to a local box, so no caller waits for good.
class frmHtmlMessage : public MessageWindow, private BrowserWindowEvents {
  public:
    static constexpr const char* kCaption = "Ko Workstation";
    static constexpr std::int32_t kWidthTwips = 4500;
    static constexpr std::int32_t kHeightTwips = 2500;
    // Questions waiting at once, the one shown included; a further one is answered Cancel.
    static constexpr std::size_t kMaxWaiting = 16;
    static constexpr std::uint32_t kPageTimeoutMs = 15000;

    // screens answers the kiosk's screens, or null while no display shows them.
    frmHtmlMessage(EventLoop& loop, AgentGlobals& globals, std::function<KioskScreens*()> screens);
    ~frmHtmlMessage() override;
    frmHtmlMessage(const frmHtmlMessage&) = delete;
    frmHtmlMessage& operator=(const frmHtmlMessage&) = delete;

    // How the window asks the main window to stop the agent (`StopKoService`).
    void SetStopAgent(std::function<void()> stopAgent) { m_stopAgent = std::move(stopAgent); }

    // MessageWindow
    void ShowForm(const std::string& kind, const std::string& msgEnglish, const std::string& msgID,
                  const std::string& msgParametar, std::int16_t msgBoxStyle) override;
    bool KoActionApproved() const override { return m_approved; }
    void Unload() override;

    // Requests not answered yet, the shown one included.
    std::size_t Waiting() const { return m_queue.size() + (m_current ? 1 : 0); }
    BrowserWindow* Window() const { return m_window.get(); }

  private:
    struct Request {
        std::string msgEnglish;
        std::string msgID;
        std::string msgParametar;
        std::int16_t msgBoxStyle = 0;
        bool answered = false;
        bool approved = false;
    };
    enum class Page { None, Server, Fallback, Password, SecurityOptions };

    bool EnsureWindow();
    void Place();
    void ShowNext();
    void Answer(const std::shared_ptr<Request>& request, bool approved);
    void AnswerCurrent(bool approved);
    void ShowLocalPage(Page page, const std::string& fileName);
    void LoadPage(Page page, const std::string& address);
    void FallBack();
    void SecureClose(const std::string& entered);
    void StopAgent();
    void HideWindow();

    void OnNavigating(const std::string& url) override;
    void OnDocumentComplete(const DocumentInfo& document) override;
    void OnClick(const ClickInfo& click) override;
    void OnActivate() override;
    void OnCloseBox() override;

    EventLoop& m_loop;
    AgentGlobals& m_globals;
    std::function<KioskScreens*()> m_screens;
    std::function<void()> m_stopAgent;
    std::unique_ptr<BrowserWindow> m_window;
    DocumentBinding m_binding;
    LoopTimer m_tmrPage;
    std::deque<std::shared_ptr<Request>> m_queue;
    std::shared_ptr<Request> m_current;
    Page m_page = Page::None;
    // The address asked for the page the window waits for or shows.
    std::string m_address;
    // The shown document is the one asked for (not an error page, not a page it went on to).
    bool m_pageShown = false;
    bool m_approved = false;
};

}  // namespace ko
