#include "agent/core/wsClient.h"

#include "agent/control/ApplicationControl.h"
#include "agent/control/CleanupControl.h"
#include "agent/control/PolicyControl.h"
#include "agent/control/PowerControl.h"
#include "agent/control/ProfileLoader.h"
#include "agent/control/WindowsLogonSettings.h"
#include "agent/control/WorkstationLock.h"
#include "agent/core/AgentCapabilities.h"
#include "agent/core/AgentGlobals.h"
#include "agent/core/LanguageStore.h"
#include "agent/core/PageAddress.h"
#include "agent/core/ServerLink.h"
#include "agent/kiosk/BillingDisplay.h"
#include "agent/kiosk/KioskWindow.h"
#include "agent/messages/Advertising.h"
#include "agent/messages/MessageWindow.h"
#include "agent/messages/TimeoutWarning.h"
#include "shared/Logger.h"
#include "shared/WatcherChannel.h"

namespace ko {

namespace {

// Numeric values of the message codes and states are read leniently, then taken to the nearest
// whole number (halves to even) where the target is an integer.
std::optional<std::int32_t> LenientInt32(const std::string& text) {
    return NumberRules::ToInt32(NumberRules::ReadLenient(text));
}

std::optional<std::int16_t> LenientInt16(const std::string& text) {
    return NumberRules::ToInt16(NumberRules::ReadLenient(text));
}

template <typename T>
void SetIf(T& target, const std::optional<T>& value) {
    if (value) {
        target = *value;
    }
}

}  // namespace

wsClient::wsClient(ServerLink& link, AgentCapabilities& capabilities, AgentGlobals& globals,
                   LanguageStore& language, WindowsLogonSettings& logonSettings,
                   std::function<void()> closeClient)
    : m_link(link),
      m_caps(capabilities),
      m_globals(globals),
      m_language(language),
      m_logonSettings(logonSettings),
      m_closeClient(std::move(closeClient)) {}

void wsClient::SplitFields(const std::string& text) {
    std::size_t index = 1;
    MessageFields[1].clear();
    MessageFieldCount = 1;
    for (char c : text) {
        if (c == '|') {
            ++index;
            if (index > kMaxField) {
                return;  // fields past 300 do not exist; the rest of the text is ignored
            }
            MessageFieldCount = index;
            MessageFields[index].clear();
        } else {
            MessageFields[index].push_back(c);
        }
    }
}

void wsClient::process(const std::string& text) {
    SplitFields(text);
    const std::string& codeField = MessageFields[1];
    // A code field without digits is not a message: taken as code 0 it would act as a status
    // built from whatever earlier messages left in the fields, so line noise could unlock or lock
    // the workstation.
    if (!NumberRules::HasLeadingNumber(codeField)) {
        Logger::Debug("dispatch: message without a code ignored");
        return;
    }
    const double code = NumberRules::ReadLenient(codeField);
    std::optional<std::int32_t> whole = NumberRules::ToInt32(code);
    if (!whole || static_cast<double>(*whole) != code) {
        return;  // a fractional or out-of-range code matches nothing
    }
    const auto& f = MessageFields;
    // The message window is modal and lets the next message overwrite the fields, so it gets
    // copies of its texts.
    auto showMessage = [this](std::string text, std::string id, std::int16_t style) {
        m_caps.messages.ShowForm("ShowMessage", text, id, "", style);
    };
    switch (*whole) {
        case 0:
            ApplyStatus();
            SendPing();
            break;
        case 7:
            m_caps.power.ShutDown();
            break;
        case 13:
            if (auto state = NumberRules::ToInt16(f[2], m_globals.regional)) {
                m_caps.lock.EnableCtrlAltDel(*state);
            }
            break;
        case 15:
            showMessage(f[3], f[2], 1);
            break;
        case 16:
            showMessage(f[3], f[2], 0);
            break;
        case 19:
            m_caps.applications.CleanUp();
            break;
        case 20:
            if (auto handle = NumberRules::ToInt32(f[2], m_globals.regional)) {
                m_caps.applications.CloseWindow(*handle);
            }
            break;
        case 21:
            m_caps.applications.EndApplication(f[2] + "K");
            break;
        case 22:
            CloseClient();
            break;
        case 23:
            m_language.StoreLanguage(MessageFields);
            break;
        case 24:
            m_language.StoreLanguageCharset(MessageFields);
            break;
        case 27:
            showMessage(f[2], "", 1);
            break;
        case 28:
            m_caps.power.Restart();
            break;
        case 29:
            m_caps.policies.ApplyPolicy();
            break;
        case 32:
            m_caps.advertising.SaveAdProfile();
            break;
        case 33:
            m_caps.timeout.ShowTimeoutWindow();
            break;
        case 34:
            m_caps.timeout.PlayTimeoutSound();
            break;
        case 35:
            ApplyOptions();
            break;
        case 37:
            SendApplicationList();
            break;
        case 42:
            m_caps.watcher.SendMessageToExe("KOW_DELETE_IEC", "");
            break;
        case 43:
            m_caps.watcher.SendMessageToExe("KOW_DELETE_IEH", "");
            break;
        case 44:
            m_caps.cleanup.DeleteMyDocuments();
            break;
        default:
            // 17 and 31 have no effect in the agent; unknown codes are ignored without reply.
            break;
    }
}

void wsClient::ApplyStatus() {
    const auto& f = MessageFields;
    oldWsState = wsState;
    currentUser = f[2];
    password = f[3];
    const RegionalSettings& regional = m_globals.regional;
    SetIf(AllocatedTime, NumberRules::ToInt16(f[4], regional));
    SetIf(AllocatedAmount, NumberRules::ToCurrency(f[5], regional));
    LogonTime = f[6];
    ElapsedTime = f[7];
    SetIf(BillingRate, NumberRules::ToCurrency(f[8], regional));
    amount = f[9];
    SetIf(wsState, LenientInt32(f[10]));
    SetIf(InternetActive, LenientInt16(f[11]));
    SetIf(CanChangePassword, LenientInt16(f[12]));
    RemainingTime = f[13];
    RemainingAmount = f[14];
    TotalBilled = f[15];
    TotalPayment = f[16];
    Balance = f[17];
    updateState();
}

void wsClient::ApplyOptions() {
    const auto& f = MessageFields;
    const RegionalSettings& regional = m_globals.regional;
    WorkstationOptions& o = m_globals.options;
    if (auto secure = NumberRules::ToInt16(f[2], regional)) {
        m_logonSettings.SaveSecurityOptions(*secure, f[3]);
    }
    SetIf(o.MinimizeInUse, NumberRules::ToInt16(f[5], regional));
    SetIf(o.KeepOnTop, NumberRules::ToInt16(f[6], regional));
    if (auto received = NumberRules::ToInt16(f[7], regional)) {
        o.LogonSettingsReceived = *received != 0;
    }
    SetIf(o.ReportApplications, NumberRules::ToInt16(f[8], regional));
    SetIf(o.ReportUrls, NumberRules::ToInt16(f[9], regional));
    SetIf(o.TimeoutMessageSeconds, NumberRules::ToInt32(f[10], regional));
    // The time-out strip would take 0 as "hold for 0 s": a 0 from the server, and a field that
    // is no number while nothing else was set, mean the usual 9 s.
    if (o.TimeoutMessageSeconds == 0) {
        o.TimeoutMessageSeconds = 9;
    }
}

void wsClient::SendApplicationList() {
    std::vector<ApplicationControl::Entry> apps = m_caps.applications.TrackedApplications();
    std::string text = "37|" + NumberRules::Format(static_cast<std::int64_t>(apps.size())) + "|";
    for (const auto& app : apps) {
        text += app.windowHandle + "|" + app.name + "|" + app.title + "|";
    }
    m_link.SendMessageText(text);
}

void wsClient::updateState() {
    KioskWindow& kiosk = m_caps.kiosk;
    // First the page.
    if (wsState == -1) {
        if (oldWsState == -1) {
            if (kiosk.LocationName() != "wsStopped.htm") {
                kiosk.Navigate(StoppedPageAddress());
            }
        } else {
            kiosk.Navigate(StoppedPageAddress());
            kiosk.PosForm();
        }
    } else {
        const std::string mainPage = MainPageAddress();
        const std::string shown = kiosk.LocationURL();
        // While the customer has collapsed the kiosk to its strip, the strip is the main page:
        // loading the full page at every status would cover the customer's work again.
        const bool showsMainPage =
            shown == mainPage ||
            (wsState == 1 && m_globals.MainWindowMinimized && shown == MinimizedPageAddress());
        if (wsState != oldWsState || !showsMainPage) {
            kiosk.Navigate(mainPage);
        }
        if (oldWsState == -1) {
            m_link.SendMessageText("36|");  // the workstation is back
        }
    }
    if (wsState != 1) {
        // In state 1 the profile handler sends it once the profile is applied.
        m_caps.watcher.SendMessageToExe("KOW_Update_State",
                                        NumberRules::Format(static_cast<std::int64_t>(wsState)));
    }
    // Then the action of the state.
    switch (wsState) {
        case -1:
            m_caps.lock.LockWorkstation();
            if (oldWsState != -1) {
                m_caps.advertising.DeactivateAdvertisements();
            }
            break;
        case 0:
        case 2:
            if (oldWsState == 1) {
                m_caps.profile.LoadProfile(LogoffProfileAddress(), ProfileAction::Logoff);
            }
            m_caps.lock.LockWorkstation();
            if (oldWsState == -1) {
                m_caps.lock.EnableCtrlAltDel(0);
                RestartIdleCount();
            }
            break;
        case 1:
            if (oldWsState == 1) {
                m_caps.billing.UpdateBillingInformation();
            } else {
                StartSession();
            }
            kiosk.SetCaption("Ko  <" + amount + "> <" + ElapsedTime + ">");
            m_caps.lock.UnlockWorkstation();
            break;
        case 6:
            m_caps.power.ShutDown();
            break;
        case 10:
            m_caps.power.Restart();
            break;
        case 13:
            m_caps.lock.LockWorkstation();
            if (oldWsState == -1) {
                RestartIdleCount();
            }
            break;
        default:
            break;  // other states get only the common actions
    }
}

void wsClient::RestartIdleCount() {
    // Back from a lost link the workstation was locked all along, so the lock does not start the
    // advertisements' idle count again; without this a dropped link would end advertising until
    // the next customer.
    m_caps.advertising.StartAdTimer();
}

void wsClient::StartSession() {
    const WorkstationOptions& o = m_globals.options;
    m_globals.MainWindowMinimized = o.MinimizeInUse != 0;
    m_caps.kiosk.SetMainWindowMinimized(m_globals.MainWindowMinimized);
    if (o.MinimizeInUse != 0) {
        m_caps.kiosk.DisplayMinimizedWindow();
    } else {
        m_caps.kiosk.DispalyNormalWindow();
    }
    if (o.KeepOnTop != 0) {
        m_caps.kiosk.SetWindowFocusTimer(true);
    }
    m_caps.profile.LoadProfile(LogonProfileAddress(), ProfileAction::Logon);
}

void wsClient::SendPing() {
    m_link.SendMessageText(" 25|");
}

void wsClient::logonCustomer(const std::string& CustomerId, const std::string& customerPassword) {
    m_link.SendMessageText(" 1|" + CustomerId + "|" + customerPassword + "||||");
}

void wsClient::logoffUser() {
    m_link.SendMessageText(" 2");
}

void wsClient::ChangePassword(const std::string& NewPassword) {
    m_link.SendMessageText("14|" + NewPassword + "|");
}

void wsClient::OrderRequest(std::int16_t serviceType, const std::string& ServiceID,
                            const std::string& ServiceDescription, const std::string& ServiceUnit,
                            double ServiceTax, double ServiceQuantity, Currency ServiceRate) {
    const RegionalSettings& regional = m_globals.regional;
    m_link.SendMessageText("30|" + NumberRules::Format(std::int64_t{serviceType}) + "|" +
                           ServiceID + "|" + ServiceDescription + "|" + ServiceUnit + "|" +
                           NumberRules::Format(ServiceTax, regional) + "|" +
                           NumberRules::Format(ServiceQuantity, regional) + "|" +
                           NumberRules::Format(ServiceRate, regional) + "|");
}

void wsClient::ReportApplication(const std::string& windowClass, std::int64_t processHandle,
                                 const std::string& fileName, std::int64_t windowHandle) {
    if (m_globals.options.ReportApplications == 0) {
        return;
    }
    // The server reads this one with a blank before the code and no separator at the end.
    m_link.SendMessageText(" 20|" + windowClass + "|" + NumberRules::Format(processHandle) + "|" +
                           fileName + "|" + NumberRules::Format(windowHandle));
}

void wsClient::ReportUrl(const std::string& url) {
    if (m_globals.options.ReportUrls == 0) {
        return;
    }
    m_link.SendMessageText("47|" + url + "|");
}

void wsClient::CloseClient() {
    if (m_closeClient) {
        m_closeClient();
    }
}

std::string wsClient::MainPageAddress() const {
    return ko::MainPageAddress(m_globals);
}

std::string wsClient::MinimizedPageAddress() const {
    return ko::MinimizedPageAddress(m_globals);
}

std::string wsClient::LogonProfileAddress() const {
    return ServerPageAddress(
        m_globals, "/ws/wsLogonProfile.asp?wsName=" + QueryValue(m_globals.WorkstationName));
}

std::string wsClient::LogoffProfileAddress() const {
    return LogonProfileAddress() + "&action=Logoff";
}

std::string wsClient::StoppedPageAddress() const {
    return m_globals.ProgramFolder + "/wsStopped.htm";
}

}  // namespace ko
