#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/kiosk/KioskTestPages.h"
#include "agent/messages/MessageText.h"
#include "fakes/AgentHarness.h"

namespace ko::messages_test {

using namespace kiosk_test;

// The agent core with the real kiosk, message window, time-out strip and advertising on the
// fake screens.
class MessagesHarness : public AgentHarness {
  public:
    MessagesHarness() : AgentHarness(KioskKind::WithMessages) {
        screens.Serve("about:blank", FakeDocument{});
        screens.Serve(kStopped, KioskHarness::StoppedPage());
        screens.Serve(kMain, MainPage());
        screens.Serve(kStrip, StripPage());
    }

    // Runs fn once, ms from now on the virtual clock: the customer's clicks and the server's
    // messages while a modal window runs its loop.
    void At(std::int64_t ms, std::function<void()> fn) {
        auto id = std::make_shared<EventLoop::TimerId>();
        *id = loop.AddTimer([this, id, fn = std::move(fn)] {
            loop.RemoveTimer(*id);
            fn();
        });
        loop.SetTimerInterval(*id, static_cast<std::uint32_t>(ms));
    }

    std::string MessageAddress(const std::string& id, const std::string& text,
                               const std::string& parameter, std::int16_t style) const {
        return MessageText::MessageAddress(globals, id, text, parameter, style);
    }
    // Serves the message page of one message: OK and Cancel in the workstation object.
    void ServeMessage(const std::string& id, const std::string& text, std::int16_t style,
                      std::uint32_t delayMs = 50, const std::string& parameter = "") {
        screens.Serve(MessageAddress(id, text, parameter, style),
                      CommandPage({"cmdOK", "cmdCancel"}, ""), delayMs);
    }

    FakeBrowserWindow* MessageWindow() const { return screens.Window("Ko Workstation"); }
    FakeBrowserWindow& Main() { return static_cast<FakeBrowserWindow&>(*kiosk->Main().Window()); }
    void Settle() { loop.Advance(1); }
    void ClickMain(const std::string& id) {
        Main().Click(id);
        Settle();
    }
    std::vector<std::string> SentSoon() {
        loop.Advance(1000);
        return Sent();
    }
};

}  // namespace ko::messages_test
