#include "WebServer.h"

#include <algorithm>
#include <cctype>

#include <httplib.h>

#include "AccountPages.h"
#include "KioskPages.h"
#include "NoticePages.h"
#include "ProfileDocuments.h"

namespace ko {

namespace {

using Query = std::multimap<std::string, std::string>;

std::string Param(const Query& query, const std::string& name) {
    auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

Profile ProfileNamed(const CafeData& data, const std::string& name) {
    const Profile* p = data.FindProfile(name);
    return p != nullptr ? *p : Profile{};
}

std::string LogonProfileName(const CafeData& data, const WorkstationSnapshot& ws) {
    if (const Account* account = data.FindAccount(ws.customer);
        account != nullptr && !account->profile.empty()) {
        return account->profile;
    }
    return data.logonProfile;
}

std::string RemainingText(const WorkstationSnapshot& ws) {
    if (!ws.known || ws.state != 1 || !ws.figures.limited) {
        return {};
    }
    long s = ws.figures.remainingSeconds;
    return s >= 120 ? std::to_string(s / 60) + " minutes" : std::to_string(s) + " seconds";
}

}  // namespace

WebServer::WebServer(CafeServer& server, Journal& journal)
    : m_server(server), m_journal(journal), m_http(std::make_unique<httplib::Server>()) {}

WebServer::~WebServer() {
    Stop();
}

int WebServer::Start(const std::string& bindAddress, int port) {
    // Driven pages ask a few times a second each; the pool keeps page loads from queueing.
    m_http->new_task_queue = [] { return new httplib::ThreadPool(8); };
    m_http->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Query query(req.params.begin(), req.params.end());
        std::string ws = Param(query, "wsName");
        if (ws.empty()) {
            ws = m_server.NameForAddress(req.remote_addr);
        }
        WebAnswer answer = Answer(req.path, query, ws);
        res.status = answer.status;
        res.set_content(answer.body, answer.contentType.c_str());
        res.set_header("Cache-Control", "no-store");
        if (!answer.journal) {
            return;
        }

        JournalEvent e;
        e.kind = EventKind::Fetched;
        e.workstation = ws;
        e.code = answer.status;
        e.path = req.target;
        e.text = "GET " + req.target + " -> " + std::to_string(answer.status) + " " + answer.what +
                 " (" + std::to_string(answer.body.size()) + " bytes)";
        m_journal.Append(e);
    });
    int bound = port == 0 ? m_http->bind_to_any_port(bindAddress)
                          : (m_http->bind_to_port(bindAddress, port) ? port : -1);
    if (bound < 0) {
        return -1;
    }
    m_thread = std::thread([this] { m_http->listen_after_bind(); });
    return bound;
}

void WebServer::Stop() {
    if (m_thread.joinable()) {
        m_http->stop();
        m_thread.join();
    }
}

WebAnswer WebServer::Answer(const std::string& path, const Query& query,
                            const std::string& workstation) const {
    if (m_driver == nullptr) {
        return Page(path, query, workstation);
    }
    if (path == "/ko/drive") {
        WebAnswer a;
        a.contentType = "text/plain; charset=utf-8";
        a.body = m_driver->Poll(Param(query, "page"), Param(query, "visible"), Param(query, "done"),
                                Param(query, "result"));
        a.journal = false;
        return a;
    }
    WebAnswer a = Page(path, query, workstation);
    std::string lower = Lower(path);
    if (a.status == 200 && a.contentType.starts_with("text/html") && lower.starts_with("/ws/") &&
        lower.size() > 4) {
        a.body = m_driver->Adopt(workstation, lower.substr(4), a.body);
    }
    return a;
}

WebAnswer WebServer::Page(const std::string& path, const Query& query,
                          const std::string& workstation) const {
    WebAnswer a;
    std::string lower = Lower(path);
    CafeData data = m_server.Data();
    if (lower == "/" || lower == "/ws" || lower == "/ws/") {
        a.body = NoticePages::Overview(data, m_server.Workstations());
        a.what = "overview";
        return a;
    }
    if (!lower.starts_with("/ws/")) {
        a.status = 404;
        a.body = NoticePages::NotFound(path);
        a.what = "not found";
        return a;
    }
    std::string page = lower.substr(4);
    WorkstationSnapshot ws = m_server.Snapshot(workstation);
    if (page == "wsmain.asp") {
        a.body = KioskPages::Main(data, ws);
        a.what = "main page";
    } else if (page == "wsmainmin.asp") {
        a.body = KioskPages::MainMin(data, ws);
        a.what = "minimized strip";
    } else if (page == "wslogoncustomer.asp") {
        a.body = KioskPages::LogonCustomer(data);
        a.what = "logon page";
    } else if (page == "wschangepassword.asp") {
        a.body = KioskPages::ChangePassword();
        a.what = "change password page";
    } else if (page == "wsservice.asp") {
        a.body = AccountPages::Service(data);
        a.what = "service page";
    } else if (page == "wscustomerhistory.asp") {
        a.body = AccountPages::CustomerHistory(data, ws, Param(query, "customer"));
        a.what = "account history";
    } else if (page == "wssessionhistory.asp") {
        a.body = AccountPages::SessionHistory(data, ws, Param(query, "customer"));
        a.what = "visit history";
    } else if (page == "wsmessage.asp") {
        a.body = NoticePages::Message(Param(query, "msgID"), Param(query, "Message"),
                                      Param(query, "msgParametar"), Param(query, "msgStyle"));
        a.what = "message page " + Param(query, "msgID");
    } else if (page == "wstimeoutmessage.asp") {
        a.body = NoticePages::Timeout(data, RemainingText(ws));
        a.what = "time-out page";
    } else if (page == "wsadvert.asp") {
        std::string ad = Param(query, "ad");
        std::size_t index = 0;
        if (!ad.empty() && ad.size() < 4 && std::all_of(ad.begin(), ad.end(), ::isdigit)) {
            index = static_cast<std::size_t>(std::stoi(ad));
        }
        a.body =
            NoticePages::Advertisement(data, index == 0 ? data.advertisements.size() : index - 1);
        a.status = index >= 1 && index <= data.advertisements.size() ? 200 : 404;
        a.what = "advertisement " + ad;
    } else if (page == "wslogonprofile.asp") {
        bool logoff = Lower(Param(query, "action")) == "logoff";
        std::string name = logoff ? data.logoffProfile : LogonProfileName(data, ws);
        a.body = ProfileDocuments::LogonProfile(ProfileNamed(data, name), ws.name, logoff);
        a.contentType = "text/xml; charset=utf-8";
        a.what = logoff ? "logoff profile" : "logon profile";
    } else if (page == "wslogonsettings.asp") {
        a.body = ProfileDocuments::LogonSettings(ProfileNamed(data, LogonProfileName(data, ws)),
                                                 ws.name);
        a.contentType = "text/xml; charset=utf-8";
        a.what = "logon settings";
    } else {
        a.status = 404;
        a.body = NoticePages::NotFound(path);
        a.what = "not found";
    }
    return a;
}

}  // namespace ko
