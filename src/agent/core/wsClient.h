#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "shared/NumberRules.h"

namespace ko {

class LanguageStore;
class ServerLink;
class WindowsLogonSettings;
struct AgentCapabilities;
struct AgentGlobals;

// The workstation client: the state the cafe server sets with its status message, the fields of
// the last server message, and the public methods the rest of the agent calls. There is one,
// created by the start routine and kept until the process ends.
class wsClient {
  public:
    static constexpr std::size_t kMaxField = 300;

    wsClient(ServerLink& link, AgentCapabilities& capabilities, AgentGlobals& globals,
             LanguageStore& language, WindowsLogonSettings& logonSettings,
             std::function<void()> closeClient);

    // Public properties, in the system's order and with its names.
    std::string currentUser;
    std::string password;
    std::int16_t AllocatedTime = 0;
    Currency AllocatedAmount;
    std::string LogonTime;
    std::string ElapsedTime;
    Currency BillingRate;
    std::string amount;
    std::int32_t wsState = 0;
    std::int32_t oldWsState = 0;
    std::int16_t InternetActive = 0;
    std::int16_t RateGroup = 0;
    std::int16_t CanChangePassword = 0;
    bool SocketConnection = false;
    std::int32_t Timer = 0;
    std::string RemainingTime;
    std::string RemainingAmount;
    std::int32_t HideSB = 0;
    std::int16_t StartButtonHidden = 0;
    std::int32_t StartAdAfter = 0;
    std::string TotalBilled;
    std::string TotalPayment;
    std::string Balance;
    std::string nextWinUser;
    std::string nextDomain;
    std::int16_t isNewPolicy = 0;
    std::string CurrentUserName;
    std::string CurrentDomainName;
    std::int16_t coCloseAllApp = 0;
    std::int16_t coDelMyDocs = 0;
    std::int16_t coDelIETemp = 0;
    std::int16_t coDelIEHistory = 0;
    std::int16_t coRunScript = 0;
    std::string coScriptPath;

    // Fields of the last server message: index 1 is the code; index 0 is never filled. Fields
    // that a message does not reach keep their values from earlier messages.
    std::array<std::string, kMaxField + 1> MessageFields;
    // How many fields the last server message carried (the code included).
    std::size_t MessageFieldCount = 0;

    // Routes one decoded server message by its code.
    void process(const std::string& text);
    void SplitFields(const std::string& text);

    // Acts on wsState and oldWsState: page, lock, reports to the server and the watcher, profile.
    void updateState();
    void SendPing();
    void logonCustomer(const std::string& CustomerId, const std::string& password);
    void logoffUser();
    // Message 14: the customer's new password.
    void ChangePassword(const std::string& NewPassword);
    // Message 30: a service order; the tax, quantity and rate are written in the regional format.
    void OrderRequest(std::int16_t serviceType, const std::string& ServiceID,
                      const std::string& ServiceDescription, const std::string& ServiceUnit,
                      double ServiceTax, double ServiceQuantity, Currency ServiceRate);
    // Message 20: a new application window; sent only while ReportApplications is non-zero.
    void ReportApplication(const std::string& windowClass, std::int64_t processHandle,
                           const std::string& fileName, std::int64_t windowHandle);
    // Message 47: an address the session watcher reports; sent only while ReportUrls is
    // non-zero.
    void ReportUrl(const std::string& url);
    // Server message 22: stop the agent.
    void CloseClient();

    // The addresses the state actions use.
    std::string MainPageAddress() const;
    std::string MinimizedPageAddress() const;
    std::string LogonProfileAddress() const;
    std::string LogoffProfileAddress() const;
    std::string StoppedPageAddress() const;

  private:
    void ApplyStatus();
    void ApplyOptions();
    void SendApplicationList();
    void StartSession();
    void RestartIdleCount();

    ServerLink& m_link;
    AgentCapabilities& m_caps;
    AgentGlobals& m_globals;
    LanguageStore& m_language;
    WindowsLogonSettings& m_logonSettings;
    std::function<void()> m_closeClient;
};

}  // namespace ko
