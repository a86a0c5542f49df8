// The operator's commands and the read-only views of the cafe server.
#include "CafeServer.h"

#include "MessageCatalog.h"
#include "ServerCommands.h"

namespace ko {

// ---- operator ------------------------------------------------------------------------------

Workstation* CafeServer::Find(const std::string& name) {
    auto it = m_workstations.find(name);
    return it == m_workstations.end() ? nullptr : &it->second;
}

std::vector<Workstation*> CafeServer::Targets(const std::string& ws, std::string& error) {
    std::vector<Workstation*> out;
    if (ws == "all") {
        for (auto& [name, w] : m_workstations) {
            if (w.connection) {
                out.push_back(&w);
            }
        }
        if (out.empty()) {
            error = "no workstation is connected";
        }
        return out;
    }
    std::string name = ws == "@" ? LastGreeted() : ws;
    if (Workstation* w = Find(name)) {
        out.push_back(w);
    } else {
        error = "no workstation " + (name.empty() ? ws : name);
    }
    return out;
}

std::string CafeServer::LogOn(const std::string& ws, const std::string& customer) {
    std::lock_guard lock(m_mutex);
    std::string error;
    auto targets = Targets(ws, error);
    if (targets.size() != 1) {
        return error.empty() ? "log on one workstation at a time" : error;
    }
    Workstation& w = *targets[0];
    if (w.state == 1) {
        return w.name + " is in use by " + w.customer;
    }
    if (w.state != 0) {
        return w.name + " is not free (state " + std::to_string(w.state) + ")";
    }
    return StartSession(w, customer, "operator");
}

std::string CafeServer::LogOff(const std::string& ws) {
    std::lock_guard lock(m_mutex);
    std::string error;
    auto targets = Targets(ws, error);
    for (Workstation* w : targets) {
        if (w->state == 1) {
            EndSession(*w, 0, "operator logged " + w->customer + " off");
        } else if (ws != "all") {
            return w->name + " has no customer";
        }
    }
    return error;
}

std::string CafeServer::SetState(const std::string& ws, int state) {
    std::lock_guard lock(m_mutex);
    std::string error;
    auto targets = Targets(ws, error);
    if (state == 1) {
        return "state 1 comes with a customer: use logon";
    }
    for (Workstation* w : targets) {
        if (w->state == 1) {
            EndSession(*w, state, "operator set state " + std::to_string(state));
        } else {
            ChangeState(*w, state, "operator");
            SendStatus(*w);
        }
    }
    return error;
}

std::string CafeServer::SendNamed(const std::string& ws, const std::string& word,
                                  const std::vector<std::string>& args) {
    std::lock_guard lock(m_mutex);
    std::string error;
    auto targets = Targets(ws, error);
    for (Workstation* w : targets) {
        if (!w->connection) {
            error = w->name + " is not connected";
            continue;
        }
        if (word == "status") {
            SendStatus(*w);
            continue;
        }
        auto text = ServerCommands::Build(word, args, m_data, AdBase(*w), error);
        if (!text) {
            return error;
        }
        Send(*w, *text);
    }
    return error;
}

std::string CafeServer::SendRaw(const std::string& ws, const std::string& text) {
    std::lock_guard lock(m_mutex);
    std::string error;
    for (Workstation* w : Targets(ws, error)) {
        if (!w->connection) {
            return w->name + " is not connected";
        }
        Send(*w, text);
    }
    return error;
}

std::string CafeServer::Drop(const std::string& ws) {
    std::lock_guard lock(m_mutex);
    std::string error;
    for (Workstation* w : Targets(ws, error)) {
        if (!w->connection) {
            error = w->name + " is not connected";
            continue;
        }
        ConnectionId id = *w->connection;
        w->connection.reset();
        m_connections.erase(id);
        m_transport.Close(id);
        JournalEvent e;
        e.kind = EventKind::Disconnected;
        e.workstation = w->name;
        e.text = "operator dropped the link" +
                 (w->state == 1 ? "; the session of " + w->customer + " goes on" : "");
        m_journal.Append(e);
    }
    return error;
}

std::string CafeServer::AddPayment(const std::string& customer, Cents amount) {
    std::lock_guard lock(m_mutex);
    Account* account = m_data.FindAccount(customer);
    if (account == nullptr) {
        return "no customer " + customer;
    }
    account->payments += amount;
    m_journal.Note(customer + " paid " + FormatCents(amount) + " " + m_data.currency +
                   "; balance " + FormatCents(account->Balance()));
    return {};
}

void CafeServer::SetStatusInterval(int seconds) {
    std::lock_guard lock(m_mutex);
    m_data.statusIntervalSeconds = seconds;
}

void CafeServer::SetWarnBefore(int seconds) {
    std::lock_guard lock(m_mutex);
    m_data.warnBeforeSeconds = seconds;
}

void CafeServer::SetHttpPort(int port) {
    std::lock_guard lock(m_mutex);
    m_httpPort = port;
}

// ---- views ---------------------------------------------------------------------------------

std::vector<Workstation> CafeServer::Workstations() const {
    std::lock_guard lock(m_mutex);
    std::vector<Workstation> out;
    for (const auto& [name, ws] : m_workstations) {
        out.push_back(ws);
    }
    return out;
}

CafeData CafeServer::Data() const {
    std::lock_guard lock(m_mutex);
    return m_data;
}

WorkstationSnapshot CafeServer::Snapshot(const std::string& name) const {
    std::lock_guard lock(m_mutex);
    WorkstationSnapshot s;
    auto it = m_workstations.find(name);
    if (it == m_workstations.end()) {
        s.name = name;
        return s;
    }
    const Workstation& ws = it->second;
    s.known = true;
    s.name = ws.name;
    s.state = ws.state;
    s.orders = ws.orders;
    if (ws.state == 1) {
        if (const Account* account = m_data.FindAccount(ws.customer)) {
            s.customer = account->id;
            s.customerName = account->name;
            s.canChangePassword = account->canChangePassword;
            s.history = account->history;
            s.figures = Figures(ws);
            s.logonTime = Billing::FormatLocalTime(ws.logonAt, "%H:%M");
            s.elapsed = Billing::FormatElapsed(ElapsedSeconds(ws));
        }
    }
    return s;
}

std::string CafeServer::NameForAddress(const std::string& address) const {
    std::lock_guard lock(m_mutex);
    std::string found;
    for (const auto& [name, ws] : m_workstations) {
        if (ws.connection && ws.address == address) {
            if (!found.empty()) {
                return {};
            }
            found = name;
        }
    }
    return found;
}

std::string CafeServer::LastGreeted() const {
    std::lock_guard lock(m_greetedMutex);
    return m_lastGreeted;
}

}  // namespace ko
