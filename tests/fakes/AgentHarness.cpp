#include "fakes/AgentHarness.h"

#include "shared/WireCodec.h"

namespace ko {

AgentHarness::AgentHarness(KioskKind kind) : caps(MakeCapabilities(kind)) {
    registry.CreateKey(RegRoot::LocalMachine, kSettingsKey, "1");
    SetNetConfig("Server", "10.0.0.1");
    SetNetConfig("HttpPort", "8080");
    SetNetConfig("WorkstationName", "WS07");
}

AgentCapabilities AgentHarness::MakeCapabilities(KioskKind kind) {
    AgentCapabilities all = recorder.All();
    if (kind == KioskKind::Recording) {
        return all;
    }
    if (kind == KioskKind::WithMessages) {
        auto shownScreens = [this]() -> KioskScreens* {
            return kiosk != nullptr ? kiosk->Screens() : nullptr;
        };
        messages = std::make_unique<frmHtmlMessage>(loop, globals, shownScreens);
        messages->SetStopAgent([this] { form.StopKoService(); });
        timeout = std::make_unique<frmTimeoutMessage>(loop, globals, sound, shownScreens, [this] {
            return kiosk != nullptr ? kiosk->MainWidth() : 0;
        });
        advertising = std::make_unique<Advertisements>(loop, globals, shownScreens,
                                                       [this] { return form.Client(); });
        kiosk = std::make_unique<Kiosk>(loop, globals, registryModule, *messages, *advertising,
                                        recorder, &screensSource);
        kiosk->AddOtherForm([this] { timeout->Unload(); });
        kiosk->AddOtherForm([this] { advertising->Unload(); });
        return AgentCapabilities{*kiosk,           *kiosk,       all.lock,    all.power,
                                 all.applications, all.policies, all.profile, all.hooks,
                                 all.cleanup,      *messages,    *timeout,    *advertising,
                                 all.watcher};
    }
    kiosk = std::make_unique<Kiosk>(loop, globals, registryModule, recorder, recorder, recorder,
                                    &screensSource);
    return AgentCapabilities{*kiosk,           *kiosk,       all.lock,    all.power,
                             all.applications, all.policies, all.profile, all.hooks,
                             all.cleanup,      all.messages, all.timeout, all.advertising,
                             all.watcher};
}

void AgentHarness::SetNetConfig(const std::string& name, const std::string& value) {
    registry.PutString(RegRoot::LocalMachine, kSettingsKey, name, value);
}

std::string AgentHarness::Setting(const std::string& path, const std::string& name) const {
    auto data = registry.Get(RegRoot::LocalMachine, path, name);
    if (!data) {
        return "<missing>";
    }
    std::string text = data->bytes;
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

void AgentHarness::Start() {
    bool success = false;
    form.OnServiceStart(success);
    loop.RunPosted();
}

void AgentHarness::StartConnected() {
    Start();
    loop.Advance(10000);
    socket.AcceptConnection();
    loop.RunPosted();
    socket.TakeSentMessages();
    recorder.Take();
}

void AgentHarness::Status(int state, const std::string& amount, const std::string& elapsed) {
    Server("0|alice|secret|60|5.00|10:00|" + elapsed + "|1.20|" + amount + "|" +
           std::to_string(state) + "|1|1|00:50|3.50|12.00|10.00|-2.00");
    loop.Advance(100);  // the ping follows the 36 after the link's short gap
}

}  // namespace ko
