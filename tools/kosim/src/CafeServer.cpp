#include "CafeServer.h"

#include "MessageCatalog.h"
#include "ServerCommands.h"

namespace ko {

namespace {

std::string Field(const std::vector<std::string>& f, std::size_t index) {
    return index < f.size() ? f[index] : std::string();
}

}  // namespace

CafeServer::CafeServer(CafeData data, Journal& journal, LinkTransport& transport, Now now)
    : m_data(std::move(data)), m_journal(journal), m_transport(transport), m_now(std::move(now)) {}

// ---- link events -------------------------------------------------------------------------

void CafeServer::OnConnected(ConnectionId connection, const std::string& address,
                             const std::string& localAddress) {
    std::lock_guard lock(m_mutex);
    m_connections[connection] = {address, localAddress, {}};
    JournalEvent e;
    e.kind = EventKind::Connected;
    e.text = "connection from " + address;
    m_journal.Append(e);
}

void CafeServer::OnDisconnected(ConnectionId connection) {
    std::lock_guard lock(m_mutex);
    auto it = m_connections.find(connection);
    if (it == m_connections.end()) {
        return;
    }
    JournalEvent e;
    e.kind = EventKind::Disconnected;
    e.workstation = it->second.workstation;
    e.text = "connection closed";
    if (Workstation* ws = Find(it->second.workstation);
        ws != nullptr && ws->connection == connection) {
        ws->connection.reset();
        // A running session goes on: the workstation resumes it when it comes back, as long
        // as the paid time lasts.
        if (ws->state == 1) {
            e.text += "; the session of " + ws->customer + " goes on";
        }
    }
    m_connections.erase(it);
    m_journal.Append(e);
}

void CafeServer::OnReceived(ConnectionId connection, const std::string& text) {
    std::lock_guard lock(m_mutex);
    auto it = m_connections.find(connection);
    if (it == m_connections.end()) {
        return;
    }
    Connection& c = it->second;
    auto fields = MessageCatalog::SplitFields(text);
    auto code = MessageCatalog::ReadCode(fields[0]);

    JournalEvent e;
    e.kind = EventKind::Received;
    e.workstation = c.workstation;
    e.code = code.value_or(-1);
    e.text = MessageCatalog::Describe(text, false);
    e.fields = fields;
    if (code == 5) {
        e.workstation = Field(fields, 1);
    }
    m_journal.Append(e);

    if (code == 5) {
        OnHello(connection, c, fields);
        return;
    }
    Workstation* ws = Find(c.workstation);
    if (ws == nullptr) {
        m_journal.Note("ignored: no hello on this connection yet");
        return;
    }
    switch (code.value_or(-1)) {
        case 36:
            SendStatus(*ws);
            SendWelcome(*ws);
            break;
        case 25:
            ws->lastPing = m_now();
            break;
        case 1:
            OnLogonRequest(*ws, fields);
            break;
        case 2:
            if (ws->state == 1) {
                EndSession(*ws, 0, "the customer logged off");
            } else {
                SendStatus(*ws);
            }
            break;
        case 14:
            OnChangePassword(*ws, fields);
            break;
        case 30:
            OnOrder(*ws, fields);
            break;
        case 20:
        case 37:
        case 47:
            ws->reports.push_back(e.text);
            if (ws->reports.size() > 200) {
                ws->reports.erase(ws->reports.begin());
            }
            break;
        default:
            m_journal.Note("ignored: not a message a workstation sends", ws->name);
            break;
    }
}

void CafeServer::OnHello(ConnectionId id, Connection& c, const std::vector<std::string>& f) {
    std::string name = Field(f, 1);
    if (name.empty()) {
        name = "ws-" + c.address;
    }
    auto [it, created] = m_workstations.try_emplace(name);
    Workstation& ws = it->second;
    if (created) {
        ws.name = name;
        ws.state = 0;
    }
    if (ws.connection && *ws.connection != id) {
        // The same workstation on a new link: the old link is stale.
        m_journal.Note("replaces an older connection of the same name", name);
        ConnectionId old = *ws.connection;
        m_connections.erase(old);
        m_transport.Close(old);
    }
    c.workstation = name;
    // Shut down and restart are orders, not lasting states: a workstation that says hello again
    // has done it and is free, and must not be told to do it once more.
    if (ws.state == 6 || ws.state == 10) {
        ChangeState(ws, 0, "back after state " + std::to_string(ws.state));
    }
    ws.connection = id;
    ws.address = c.address;
    ws.localAddress = c.localAddress;
    ws.computer = Field(f, 2);
    ws.system = Field(f, 4);
    {
        std::lock_guard greeted(m_greetedMutex);
        m_lastGreeted = name;
    }
    SendStatus(ws);
}

void CafeServer::OnLogonRequest(Workstation& ws, const std::vector<std::string>& f) {
    std::string customer = Field(f, 1);
    std::string password = Field(f, 2);
    if (ws.state != 0) {
        Notice(ws, "1011", "This workstation cannot take a logon now.");
        return;
    }
    const Account* account = m_data.FindAccount(customer);
    if (account == nullptr || account->password != password) {
        m_journal.Note("logon refused: unknown customer or wrong password", ws.name);
        Notice(ws, "1010", "Unknown customer or wrong password.");
        return;
    }
    std::string error = StartSession(ws, customer, "logon request");
    if (!error.empty()) {
        m_journal.Note("logon refused: " + error, ws.name);
        Notice(ws, "1012", error);
    }
}

void CafeServer::OnChangePassword(Workstation& ws, const std::vector<std::string>& f) {
    Account* account = ws.state == 1 ? m_data.FindAccount(ws.customer) : nullptr;
    if (account == nullptr) {
        Notice(ws, "1013", "Log on first to change your password.");
        return;
    }
    if (!account->canChangePassword) {
        Notice(ws, "1014", "Your account's password cannot be changed here.");
        return;
    }
    // A "|" in the new password would have split the message: more fields than one password.
    if (f.size() != 2 || f[1].empty()) {
        Notice(ws, "1015", "The new password must not be empty nor contain \"|\".");
        return;
    }
    account->password = f[1];
    m_journal.Note("password of " + account->id + " changed", ws.name);
    Notice(ws, "1016", "Your password has been changed.");
}

void CafeServer::OnOrder(Workstation& ws, const std::vector<std::string>& f) {
    ServiceOrder order;
    order.at = Billing::FormatLocalTime(m_now(), "%H:%M");
    order.serviceId = Field(f, 2);
    order.description = Field(f, 3);
    order.unit = Field(f, 4);
    order.quantity = Field(f, 6);
    order.rate = Field(f, 7);
    ws.orders.push_back(order);
    m_journal.Note("order for the counter: " + order.quantity + " x " + order.description + " (" +
                       order.rate + " " + m_data.currency + " each)" +
                       (ws.customer.empty() ? "" : " for " + ws.customer),
                   ws.name);
}

// ---- sessions ------------------------------------------------------------------------------

std::string CafeServer::StartSession(Workstation& ws, const std::string& customer,
                                     const std::string& how) {
    const Account* account = m_data.FindAccount(customer);
    if (account == nullptr) {
        return "no customer " + customer;
    }
    for (const auto& [name, other] : m_workstations) {
        if (other.state == 1 && other.customer == customer) {
            return "customer " + customer + " is already logged on at " + name;
        }
    }
    const Rate* rate = m_data.FindRate(account->rate);
    if (rate == nullptr) {
        return "customer " + customer + " has no rate";
    }
    if (!account->postpaid && rate->perHour > 0 && account->Balance() <= 0) {
        return "No credit left: please pay at the counter.";
    }
    ws.customer = customer;
    ws.logonAt = m_now();
    ws.warned = false;
    ws.orders.clear();
    ChangeState(ws, 1, how + ": " + customer + " logged on");
    SendStatus(ws);
    return {};
}

void CafeServer::EndSession(Workstation& ws, int nextState, const std::string& why) {
    if (Account* account = m_data.FindAccount(ws.customer); account != nullptr && ws.state == 1) {
        SessionFigures f = Figures(ws);
        account->billed += f.amount;
        account->history.push_back({Billing::FormatLocalTime(ws.logonAt, "%Y-%m-%d %H:%M"), ws.name,
                                    static_cast<int>(ElapsedSeconds(ws) / 60), f.amount});
        m_journal.Note(ws.customer + " billed " + FormatCents(f.amount) + " " + m_data.currency +
                           "; balance " + FormatCents(account->Balance()),
                       ws.name);
    }
    ws.customer.clear();
    ws.warned = false;
    ChangeState(ws, nextState, why);
    SendStatus(ws);
}

void CafeServer::ChangeState(Workstation& ws, int state, const std::string& why) {
    if (ws.state == state) {
        return;
    }
    JournalEvent e;
    e.kind = EventKind::StateChanged;
    e.workstation = ws.name;
    e.code = state;
    e.text = "state " + std::to_string(ws.state) + " -> " + std::to_string(state) + " (" +
             MessageCatalog::StateName(state) + "): " + why;
    ws.state = state;
    m_journal.Append(e);
}

long CafeServer::ElapsedSeconds(const Workstation& ws) const {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(m_now() - ws.logonAt).count());
}

SessionFigures CafeServer::Figures(const Workstation& ws) const {
    const Account* account = m_data.FindAccount(ws.customer);
    if (account == nullptr) {
        return {};
    }
    const Rate* rate = m_data.FindRate(account->rate);
    return Billing::Compute(*account, rate != nullptr ? rate->perHour : 0, ElapsedSeconds(ws));
}

void CafeServer::Tick() {
    std::lock_guard lock(m_mutex);
    auto now = m_now();
    for (auto& [name, ws] : m_workstations) {
        if (ws.state != 1) {
            continue;
        }
        SessionFigures f = Figures(ws);
        if (f.limited && f.remainingSeconds <= 0) {
            EndSession(ws, 0, "the paid time of " + ws.customer + " is up");
            continue;
        }
        if (!ws.connection) {
            continue;
        }
        if (f.limited && !ws.warned && m_data.warnBeforeSeconds > 0 &&
            f.remainingSeconds <= m_data.warnBeforeSeconds) {
            ws.warned = true;
            m_journal.Note(
                "time-out warning: " + std::to_string(f.remainingSeconds) + " s of paid time left",
                ws.name);
            Send(ws, MessageCatalog::Compose(33, {}));
            Send(ws, MessageCatalog::Compose(34, {}));
        }
        if (now - ws.lastStatus >= std::chrono::seconds(m_data.statusIntervalSeconds)) {
            SendStatus(ws);
        }
    }
}

// ---- sending -------------------------------------------------------------------------------

void CafeServer::Send(Workstation& ws, const std::string& text) {
    if (!ws.connection) {
        return;
    }
    JournalEvent e;
    e.kind = EventKind::Sent;
    e.workstation = ws.name;
    e.code = MessageCatalog::ReadCode(MessageCatalog::SplitFields(text)[0]).value_or(-1);
    e.text = MessageCatalog::Describe(text, true);
    e.fields = MessageCatalog::SplitFields(text);
    m_journal.Append(e);
    m_transport.Send(*ws.connection, text);
}

std::string CafeServer::ComposeStatus(const Workstation& ws, const Account* account,
                                      const SessionFigures& f, const std::string& logonTime,
                                      const std::string& elapsed) {
    bool inUse = ws.state == 1 && account != nullptr;
    // Every field is sent, so that nothing of an earlier message lingers on the workstation.
    // The customer's password (field 3) is never sent: the workstation has no use for it.
    std::vector<std::string> fields = {
        inUse ? account->id : "",
        "",
        std::to_string(inUse ? f.allocatedMinutes : 0),
        FormatCents(inUse ? f.allocatedAmount : 0),
        inUse ? logonTime : "",
        inUse ? elapsed : "",
        FormatCents(inUse ? f.perHour : 0),
        FormatCents(inUse ? f.amount : 0),
        std::to_string(ws.state),
        inUse ? "1" : "0",
        inUse && account->canChangePassword ? "1" : "0",
        inUse && f.limited ? std::to_string(f.RemainingMinutes()) : "-1",
        inUse && f.limited ? FormatCents(f.remainingAmount) : "-1",
        FormatCents(inUse ? f.totalBilled : 0),
        FormatCents(inUse ? f.totalPayment : 0),
        FormatCents(inUse ? f.balance : 0),
    };
    return MessageCatalog::Compose(0, fields);
}

void CafeServer::SendStatus(Workstation& ws) {
    ws.lastStatus = m_now();
    const Account* account = ws.state == 1 ? m_data.FindAccount(ws.customer) : nullptr;
    Send(ws, ComposeStatus(ws, account, Figures(ws), Billing::FormatLocalTime(ws.logonAt, "%H:%M"),
                           Billing::FormatElapsed(ElapsedSeconds(ws))));
}

void CafeServer::SendWelcome(Workstation& ws) {
    std::string error;
    if (m_data.sendOptionsOnConnect) {
        if (auto text = ServerCommands::Options(m_data.options, {}, error)) {
            Send(ws, *text);
        }
    }
    if (m_data.sendAdsOnConnect && !m_data.advertisements.empty()) {
        Send(ws, ServerCommands::AdvertisementProfile(m_data, AdBase(ws)));
    }
}

void CafeServer::Notice(Workstation& ws, const std::string& id, const std::string& text) {
    Send(ws, MessageCatalog::Compose(15, {id, text}));
}

std::string CafeServer::AdBase(const Workstation& ws) const {
    std::string host = ws.localAddress.empty() ? "127.0.0.1" : ws.localAddress;
    return "http://" + host + ":" + std::to_string(m_httpPort);
}

}  // namespace ko
