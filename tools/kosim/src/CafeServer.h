#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Billing.h"
#include "CafeData.h"
#include "Journal.h"

namespace ko {

using ConnectionId = std::uint64_t;
using WallClock = std::chrono::system_clock;

// How the cafe server reaches its workstations: kosim's link server, or a test's recorder.
class LinkTransport {
  public:
    virtual ~LinkTransport() = default;
    virtual void Send(ConnectionId connection, const std::string& text) = 0;
    virtual void Close(ConnectionId connection) = 0;
};

struct ServiceOrder {
    std::string at;  // "14:05"
    std::string serviceId;
    std::string description;
    std::string unit;
    std::string quantity;
    std::string rate;
};

// A workstation as the server keeps it, with the session of its customer.
struct Workstation {
    std::string name;
    std::string address;       // where it connects from
    std::string localAddress;  // the server address it reached
    std::string computer;
    std::string system;
    std::optional<ConnectionId> connection;
    int state = 0;
    std::string customer;  // account id of the running session
    WallClock::time_point logonAt{};
    WallClock::time_point lastStatus{};
    WallClock::time_point lastPing{};
    bool warned = false;
    std::vector<ServiceOrder> orders;
    std::vector<std::string> reports;  // applications and addresses the workstation reported
};

// What the web side needs to draw a page for a workstation.
struct WorkstationSnapshot {
    bool known = false;
    std::string name;
    int state = 0;
    std::string customer;
    std::string customerName;
    bool canChangePassword = false;
    std::string logonTime;
    std::string elapsed;
    SessionFigures figures;
    std::vector<ServiceOrder> orders;
    std::vector<PastSession> history;
};

// The cafe server's behaviour, without sockets: workstations, customer sessions, billing,
// time-out warnings and the operator's commands. Safe to call from several threads.
class CafeServer {
  public:
    using Now = std::function<WallClock::time_point()>;

    CafeServer(CafeData data, Journal& journal, LinkTransport& transport, Now now = WallClock::now);

    // Link events.
    void OnConnected(ConnectionId connection, const std::string& address,
                     const std::string& localAddress);
    void OnDisconnected(ConnectionId connection);
    void OnReceived(ConnectionId connection, const std::string& text);
    // Sends due statuses, time-out warnings and ends sessions whose paid time is up.
    void Tick();

    // The operator's commands; each returns an error text, empty on success. A workstation
    // name "all" means every connected workstation where that makes sense.
    std::string LogOn(const std::string& ws, const std::string& customer);
    std::string LogOff(const std::string& ws);
    std::string SetState(const std::string& ws, int state);
    std::string SendNamed(const std::string& ws, const std::string& word,
                          const std::vector<std::string>& args);
    std::string SendRaw(const std::string& ws, const std::string& text);
    // Closes a workstation's link, as a network failure or a server restart would.
    std::string Drop(const std::string& ws);
    std::string AddPayment(const std::string& customer, Cents amount);
    void SetStatusInterval(int seconds);
    void SetWarnBefore(int seconds);
    void SetHttpPort(int port);

    std::vector<Workstation> Workstations() const;
    CafeData Data() const;
    WorkstationSnapshot Snapshot(const std::string& ws) const;
    // The workstation that connects from an address, when exactly one does.
    std::string NameForAddress(const std::string& address) const;
    // The name of the workstation most recently greeted.
    std::string LastGreeted() const;

    static std::string ComposeStatus(const Workstation& ws, const Account* account,
                                     const SessionFigures& figures, const std::string& logonTime,
                                     const std::string& elapsed);

  private:
    struct Connection {
        std::string address;
        std::string localAddress;
        std::string workstation;  // empty until the hello
    };

    Workstation* Find(const std::string& name);
    std::vector<Workstation*> Targets(const std::string& ws, std::string& error);
    void Send(Workstation& ws, const std::string& text);
    void SendStatus(Workstation& ws);
    void SendWelcome(Workstation& ws);
    void Notice(Workstation& ws, const std::string& id, const std::string& text);
    void ChangeState(Workstation& ws, int state, const std::string& why);
    std::string StartSession(Workstation& ws, const std::string& customer, const std::string& how);
    void EndSession(Workstation& ws, int nextState, const std::string& why);
    long ElapsedSeconds(const Workstation& ws) const;
    SessionFigures Figures(const Workstation& ws) const;
    std::string AdBase(const Workstation& ws) const;

    void OnHello(ConnectionId id, Connection& c, const std::vector<std::string>& f);
    void OnLogonRequest(Workstation& ws, const std::vector<std::string>& f);
    void OnChangePassword(Workstation& ws, const std::vector<std::string>& f);
    void OnOrder(Workstation& ws, const std::vector<std::string>& f);

    mutable std::mutex m_mutex;
    CafeData m_data;
    Journal& m_journal;
    LinkTransport& m_transport;
    Now m_now;
    int m_httpPort = 0;
    std::map<ConnectionId, Connection> m_connections;
    std::map<std::string, Workstation> m_workstations;
    // Kept apart from m_mutex: scripts read it while the journal is locked, and the server
    // appends to the journal while m_mutex is held.
    mutable std::mutex m_greetedMutex;
    std::string m_lastGreeted;
};

}  // namespace ko
