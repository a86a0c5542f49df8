#include "Console.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "MessageCatalog.h"
#include "ScreenGrab.h"
#include "ServerCommands.h"

namespace ko {

namespace {

bool IsNumber(const std::string& text) {
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    return i < text.size() && text.find_first_not_of("0123456789", i) == std::string::npos;
}

std::string Lower(std::string text) {
    for (auto& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Join(const std::vector<std::string>& words, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < words.size(); ++i) {
        out += (i == from ? "" : " ") + words[i];
    }
    return out;
}

std::string Pad(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.resize(width, ' ');
    }
    return text;
}

// The text after the first n words of a line, as typed.
std::string RestOfLine(const std::string& line, int words) {
    std::size_t i = 0;
    for (int w = 0; w < words; ++w) {
        i = line.find_first_not_of(" \t", i);
        i = line.find_first_of(" \t", i);
        if (i == std::string::npos) {
            return {};
        }
    }
    i = line.find_first_not_of(" \t", i);
    return i == std::string::npos ? std::string() : line.substr(i);
}

}  // namespace

Console::Console(CafeServer& server, Journal& journal, Print print)
    : m_server(server), m_journal(journal), m_print(std::move(print)) {}

bool Console::Tokenize(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return !quoted;
}

std::string Console::Help() {
    return "kosim console. Workstation <ws> is a name, @ for the last one that said hello, or "
           "all.\n"
           "  list | ls                      workstations: state, customer, figures\n"
           "  customers                      customer accounts\n"
           "  reports <ws>                   applications and addresses the workstation reported\n"
           "  logon <ws> <customer>          start a session for a customer (the operator's way)\n"
           "  logoff <ws>                    end the session\n"
           "  lock <ws> | unlock <ws>        state 2 | state 0\n"
           "  state <ws> <n>                 send any state: 6 shut down, 10 restart, 13 lock "
           "only\n"
           "  send <ws> <word> [fields]      send a server message by name (below)\n"
           "  raw <ws> <text>                send a message text as typed, e.g. raw @ 17|hello|\n"
           "  drop <ws>                      close the link, as a network failure would\n"
           "  pay <customer> <amount>        a payment at the counter\n"
           "  interval <seconds>             status interval of workstations in use\n"
           "  warn <seconds>                 time-out warning this long before paid time ends; 0: "
           "none\n"
           "  quit\n" +
           ServerCommands::Help() +
           "  click <ws> <element> [trusted] [on <page>] [within <s>]   a click on a page element\n"
           "  type <ws> <element> <text> [trusted] [on <page>]        text into a page field\n"
           "  keys <key>... | typekeys <text>   real keys to the focused window (xdotool)\n"
           "  pages                          pages that kosim drives (with --drive)\n"
           "  grab <file.png>                a picture of the screen (DISPLAY)\n"
           "  in scripts also:\n"
           "    step <title> | note <text> | sleep <seconds>\n"
           "    expect recv|sent <ws|*> <code> [within <s>] [unordered] [optional] [text <part>]\n"
           "    expect fetch <ws|*> <path prefix, @ for the workstation, $ at the end: exact>\n"
           "    expect text <ws> <element> <text> | status <field> [contains] [on <page>]\n"
           "    expect window <ws> <title pattern>   (the newest such window is ${window} "
           "from then on)\n"
           "    expect no <recv|sent|fetch|state|window> ...   nothing of the kind within the "
           "time\n"
           "    expect state <ws|*> <state>\n";
}

void Console::Report(const std::string& error) {
    if (!error.empty()) {
        m_print(m_where + "error: " + error);
    }
}

void Console::SetVariable(const std::string& name, const std::string& value) {
    m_variables[name] = value;
}

bool Console::Execute(const std::string& typed) {
    std::string line = typed;
    for (const auto& [name, value] : m_variables) {
        std::string key = "${" + name + "}";
        for (auto at = line.find(key); at != std::string::npos; at = line.find(key, at)) {
            line.replace(at, key.size(), value);
            at += value.size();
        }
    }
    std::vector<std::string> w;
    if (!Tokenize(line, w)) {
        Report("unterminated quote");
        return true;
    }
    if (w.empty() || w[0].starts_with("#")) {
        return true;
    }
    const std::string cmd = Lower(w[0]);
    static const std::map<std::string, std::pair<std::size_t, const char*>> usages = {
        {"reports", {2, "reports <ws>"}},
        {"logon", {3, "logon <ws> <customer>"}},
        {"logoff", {2, "logoff <ws>"}},
        {"lock", {2, "lock <ws>"}},
        {"unlock", {2, "unlock <ws>"}},
        {"state", {3, "state <ws> <n>"}},
        {"send", {3, "send <ws> <word> [fields]"}},
        {"raw", {3, "raw <ws> <text>"}},
        {"drop", {2, "drop <ws>"}},
        {"pay", {3, "pay <customer> <amount>"}},
        {"interval", {2, "interval <seconds>"}},
        {"sleep", {2, "sleep <seconds>"}},
        {"warn", {2, "warn <seconds>"}},
        {"click", {3, "click <ws> <element> [trusted] [on <page>] [within <s>]"}},
        {"type", {4, "type <ws> <element> <text> [trusted] [on <page>] [within <s>]"}},
        {"keys", {2, "keys <key>..."}},
        {"typekeys", {2, "typekeys <text>"}},
        {"grab", {2, "grab <file.png>"}},
    };
    if (auto it = usages.find(cmd); it != usages.end() && w.size() < it->second.first) {
        Report(std::string("usage: ") + it->second.second);
        return true;
    }
    if (cmd == "quit" || cmd == "exit") {
        return false;
    } else if (cmd == "help" || cmd == "?") {
        m_print(Help());
    } else if (cmd == "list" || cmd == "ls") {
        List();
    } else if (cmd == "customers") {
        Customers();
    } else if (cmd == "reports") {
        Reports(w[1]);
    } else if (cmd == "logon") {
        Report(m_server.LogOn(w[1], w[2]));
    } else if (cmd == "logoff") {
        Report(m_server.LogOff(w[1]));
    } else if (cmd == "lock") {
        Report(m_server.SetState(w[1], 2));
    } else if (cmd == "unlock") {
        Report(m_server.SetState(w[1], 0));
    } else if (cmd == "state") {
        Report(IsNumber(w[2]) ? m_server.SetState(w[1], std::stoi(w[2])) : "state is a number");
    } else if (cmd == "send") {
        Report(m_server.SendNamed(w[1], w[2], {w.begin() + 3, w.end()}));
    } else if (cmd == "raw") {
        Report(m_server.SendRaw(w[1], RestOfLine(line, 2)));
    } else if (cmd == "drop") {
        Report(m_server.Drop(w[1]));
    } else if (cmd == "pay") {
        auto cents = ParseCents(w[2]);
        Report(cents ? m_server.AddPayment(w[1], *cents) : "amount such as 10.00");
    } else if (cmd == "interval") {
        if (IsNumber(w[1]) && std::stoi(w[1]) >= 1) {
            m_server.SetStatusInterval(std::stoi(w[1]));
            m_journal.Note("status interval now " + w[1] + " s");
        } else {
            Report("interval is a whole number of seconds, at least 1");
        }
    } else if (cmd == "warn") {
        if (IsNumber(w[1]) && std::stoi(w[1]) >= 0) {
            m_server.SetWarnBefore(std::stoi(w[1]));
            m_journal.Note(w[1] == "0"
                               ? std::string("no time-out warnings for now")
                               : "time-out warning now " + w[1] + " s before the paid time ends");
        } else {
            Report("warn takes a whole number of seconds");
        }
    } else if (cmd == "click" || cmd == "type") {
        if (!PageAction(w)) {
            m_stopped = !m_where.empty();
        }
    } else if (cmd == "keys" || cmd == "typekeys") {
        bool ok = m_desktop != nullptr && (cmd == "keys" ? m_desktop->Keys({w.begin() + 1, w.end()})
                                                         : m_desktop->Type(w[1]));
        if (!ok) {
            Fail(cmd + ": xdotool failed (is DISPLAY set and xdotool installed?)");
            m_stopped = !m_where.empty();
        }
    } else if (cmd == "grab") {
        // A picture of the screen for whoever watches the demo later; no expectation.
        ScreenGrab screen;
        auto image = screen.Grab();
        if (!image || !ScreenGrab::SavePng(*image, w[1])) {
            Report("grab: cannot " + std::string(image ? "write " + w[1] : "read the display"));
        } else {
            m_journal.Note("screen grab " + w[1]);
        }
    } else if (cmd == "pages") {
        if (m_driver == nullptr) {
            Report("pages are driven only with --drive");
        } else {
            for (const auto& p : m_driver->LivePages()) {
                m_print(p);
            }
        }
    } else if (cmd == "step") {
        JournalEvent e;
        e.kind = EventKind::Step;
        e.text = Join(w, 1);
        m_mark = m_journal.Append(e);
        m_cursor = std::max(m_cursor, m_mark);
    } else if (cmd == "note") {
        m_journal.Note(RestOfLine(line, 1));
    } else if (cmd == "sleep") {
        std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(w[1].c_str())));
    } else if (cmd == "expect") {
        if (!Expect(w)) {
            m_stopped = !m_where.empty();
        }
    } else {
        Report("unknown command " + w[0] + " (try help)");
    }
    return true;
}

bool Console::Expect(const std::vector<std::string>& words) {
    std::vector<std::string> w = words;
    // "expect no ...": nothing of the kind may happen within the time.
    bool absent = w.size() > 1 && Lower(w[1]) == "no";
    if (absent) {
        w.erase(w.begin() + 1);
    }
    if (w.size() > 1 && Lower(w[1]) == "window") {
        return ExpectWindow(w, absent);
    }
    if (w.size() > 1 && Lower(w[1]) == "text" && !absent) {
        return ExpectText(w);
    }
    std::string usage = "expect recv|sent|fetch|state <ws> <what> [within <s>] [unordered]";
    if (w.size() < 4) {
        Report("usage: " + usage);
        ++m_failed;
        return false;
    }
    std::string kind = Lower(w[1]);
    std::string ws = w[2];
    std::string what = w[3];
    double within = 15;
    bool unordered = false;
    bool optional = false;
    std::string containing;
    for (std::size_t i = 4; i < w.size(); ++i) {
        if (w[i] == "within" && i + 1 < w.size()) {
            within = std::atof(w[++i].c_str());
        } else if (w[i] == "unordered") {
            unordered = true;
        } else if (w[i] == "optional") {
            optional = true;
        } else if (w[i] == "text" && i + 1 < w.size()) {
            containing = w[++i];
        }
    }
    std::optional<EventKind> eventKind;
    if (kind == "recv") {
        eventKind = EventKind::Received;
    } else if (kind == "sent") {
        eventKind = EventKind::Sent;
    } else if (kind == "fetch") {
        eventKind = EventKind::Fetched;
    } else if (kind == "state") {
        eventKind = EventKind::StateChanged;
    }
    if (!eventKind || (kind != "fetch" && !IsNumber(what))) {
        Report("usage: " + usage);
        ++m_failed;
        return false;
    }
    int code = kind != "fetch" ? std::stoi(what) : 0;
    CafeServer& server = m_server;
    auto match = [&](const JournalEvent& e) {
        if (e.kind != *eventKind || e.text.find(containing) == std::string::npos) {
            return false;
        }
        std::string greeted = server.LastGreeted();
        std::string name = ws == "@" ? greeted : ws;
        if (ws != "*" && e.workstation != name) {
            return false;
        }
        if (kind != "fetch") {
            return e.code == code;
        }
        std::string pattern = what;
        for (auto at = pattern.find('@'); at != std::string::npos; at = pattern.find('@', at)) {
            pattern.replace(at, 1, greeted);
            at += greeted.size();
        }
        bool exact = pattern.ends_with("$");
        if (exact) {
            pattern.pop_back();
        }
        std::string path = Lower(e.path);
        pattern = Lower(pattern);
        return exact ? path == pattern : path.starts_with(pattern);
    };
    auto from = unordered ? m_mark : m_cursor;
    auto found =
        m_journal.WaitFor(match, from, std::chrono::milliseconds(static_cast<long>(within * 1000)));
    std::string said = Join(words, 1);
    if (absent) {
        if (found) {
            ++m_failed;
            m_print(m_where + "FAIL expect " + said + " (seen: " + found->text + ")");
            return false;
        }
        ++m_passed;
        m_print(m_where + "PASS expect " + said);
        return true;
    }
    if (found) {
        ++m_passed;
        m_cursor = std::max(m_cursor, found->seq + 1);
        m_print(m_where + "PASS expect " + said);
        return true;
    }
    if (optional) {
        // What a later part of the workstation will do: noted, not failed, until it lands.
        ++m_skipped;
        m_print(m_where + "SKIP expect " + said + " (not seen; optional)");
        return true;
    }
    ++m_failed;
    m_print(m_where + "FAIL expect " + said + " (not seen within " + std::to_string(within) + " s" +
            (unordered ? "" : " after the previous match") + ")");
    return false;
}

bool Console::RunScript(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        m_print("error: cannot read script " + path);
        return false;
    }
    std::string line;
    int number = 0;
    std::string name = path.substr(path.find_last_of('/') + 1);
    while (!m_stopped && std::getline(in, line)) {
        ++number;
        m_where = name + ":" + std::to_string(number) + ": ";
        if (!Execute(line)) {
            break;
        }
    }
    m_where.clear();
    if (m_stopped) {
        m_print("the script stopped at its first failed expectation");
    }
    return true;
}

void Console::List() {
    auto stations = m_server.Workstations();
    if (stations.empty()) {
        m_print("no workstation has said hello yet");
        return;
    }
    CafeData data = m_server.Data();
    m_print(Pad("name", 14) + Pad("address", 16) + Pad("state", 14) + Pad("customer", 12) +
            "elapsed   amount  remaining  balance");
    for (const auto& ws : stations) {
        WorkstationSnapshot s = m_server.Snapshot(ws.name);
        std::string figures;
        if (s.state == 1) {
            const auto& f = s.figures;
            figures = Pad(s.elapsed, 10) + Pad(FormatCents(f.amount), 8) +
                      Pad(f.limited ? std::to_string(f.RemainingMinutes()) + " min" : "open", 11) +
                      FormatCents(f.balance) + " " + data.currency;
        }
        m_print(Pad(ws.name, 14) + Pad(ws.connection ? ws.address : "(offline)", 16) +
                Pad(std::to_string(ws.state) + " " + MessageCatalog::StateName(ws.state), 14) +
                Pad(ws.customer, 12) + figures);
    }
}

void Console::Customers() {
    CafeData data = m_server.Data();
    for (const auto& a : data.accounts) {
        m_print(Pad(a.id, 12) + Pad(a.name, 20) + Pad(a.rate, 12) +
                (a.postpaid ? "open account, billed " + FormatCents(a.billed)
                            : "balance " + FormatCents(a.Balance())) +
                " " + data.currency);
    }
}

void Console::Reports(const std::string& ws) {
    std::string name = ws == "@" ? m_server.LastGreeted() : ws;
    for (const auto& w : m_server.Workstations()) {
        if (w.name != name) {
            continue;
        }
        for (const auto& order : w.orders) {
            m_print(order.at + " order: " + order.quantity + " x " + order.description);
        }
        for (const auto& report : w.reports) {
            m_print(report);
        }
        return;
    }
    Report("no workstation " + name);
}

}  // namespace ko
