#include "PageDriver.h"

#include <algorithm>
#include <cctype>
#include <regex>

namespace ko {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The page script. ES3 only (no JSON, no const, no arrow functions): the oldest engine the
// workstation embeds runs it too. Answers start with "ok " or "error ".
constexpr const char* kScript = R"js(<script type="text/javascript">
(function () {
  var page = "@PAGE@";
  function request() {
    return window.XMLHttpRequest ? new XMLHttpRequest() : new ActiveXObject("Microsoft.XMLHTTP");
  }
  function shown() {
    var s = document.visibilityState;
    return s === undefined ? "" : (s == "hidden" ? "0" : "1");
  }
  function fire(e, type) {
    if (document.createEvent) {
      var ev = document.createEvent("HTMLEvents");
      ev.initEvent(type, true, true);
      e.dispatchEvent(ev);
    } else if (e.fireEvent) {
      e.fireEvent("on" + type);
    }
  }
  function perform(verb, e, arg) {
    if (verb == "click") { e.click(); return ""; }
    if (verb == "type") { e.focus(); e.value = arg; fire(e, "input"); fire(e, "change"); return ""; }
    if (verb == "focus") { e.focus(); return ""; }
    if (verb == "text") { return e.innerText !== undefined ? e.innerText : e.textContent; }
    if (verb == "value") { return e.value; }
    if (verb == "rect") {
      if (e.scrollIntoView) { e.scrollIntoView(false); }
      var r = e.getBoundingClientRect();
      return Math.round(r.left) + " " + Math.round(r.top) + " " + Math.round(r.right - r.left) +
          " " + Math.round(r.bottom - r.top);
    }
    throw new Error("unknown verb " + verb);
  }
  function ask(done, result) {
    var x = request();
    var q = "/ko/drive?page=" + page + "&visible=" + shown() + "&t=" + new Date().getTime();
    if (done) { q += "&done=" + done + "&result=" + encodeURIComponent(result); }
    x.open("GET", q, true);
    x.onreadystatechange = function () {
      if (x.readyState != 4) { return; }
      var text = x.status == 200 ? x.responseText : "";
      if (!text) {
        setTimeout(function () { ask("", ""); }, x.status == 200 ? 150 : 1000);
        return;
      }
      var parts = text.split("\n"), r;
      try {
        var e = document.getElementById(parts[2]);
        if (!e) { throw new Error("no element " + parts[2]); }
        r = "ok " + perform(parts[1], e, parts[3]);
      } catch (err) {
        r = "error " + (err.message || err);
      }
      ask(parts[0], r);
    };
    x.send(null);
  }
  function start() { ask("", ""); }
  if (window.addEventListener) { window.addEventListener("load", start, false); }
  else { window.attachEvent("onload", start); }
})();
</script>
)js";

}  // namespace

PageDriver::PageDriver(Journal& journal, Clock::duration gone) : m_journal(journal), m_gone(gone) {}

std::string PageDriver::Script(const std::string& pageId) {
    std::string script = kScript;
    script.replace(script.find("@PAGE@"), 6, pageId);
    return script;
}

std::string PageDriver::Adopt(const std::string& workstation, const std::string& page,
                              const std::string& html) {
    static const std::regex idAttribute(R"re(\sid="([^"]+)")re");
    Page p;
    p.workstation = workstation;
    p.name = Lower(page);
    for (std::sregex_iterator it(html.begin(), html.end(), idAttribute), end; it != end; ++it) {
        p.elements.insert((*it)[1].str());
    }
    p.served = m_journal.Next();
    p.servedAt = m_journal.Elapsed();
    {
        std::lock_guard lock(m_mutex);
        p.number = m_nextPage++;
        p.id = std::to_string(p.number);
        // Pages that stopped asking long ago are of no more use; keep the table small.
        auto now = Clock::now();
        std::erase_if(m_pages, [&](const auto& entry) {
            return entry.second.asked && now - entry.second.lastAsked > 20 * m_gone;
        });
        m_pages[p.id] = p;
    }
    std::string out = html;
    std::string script = Script(p.id);
    auto head = out.find("</head>");
    out.insert(head == std::string::npos ? 0 : head, script);
    return out;
}

std::string PageDriver::Poll(const std::string& pageId, const std::string& visible,
                             const std::string& done, const std::string& result) {
    std::lock_guard lock(m_mutex);
    auto it = m_pages.find(pageId);
    if (it == m_pages.end()) {
        return {};
    }
    Page& page = it->second;
    page.asked = true;
    page.lastAsked = Clock::now();
    page.hidden = visible == "0";
    if (!done.empty()) {
        char* end = nullptr;
        auto id = std::strtoull(done.c_str(), &end, 10);
        if (end != done.c_str() && *end == '\0' && id == page.delivered) {
            m_results[id] = result;
        }
    }
    m_changed.notify_all();
    if (page.queue.empty()) {
        return {};
    }
    Command c = page.queue.front();
    page.queue.pop_front();
    page.delivered = c.id;
    return std::to_string(c.id) + "\n" + c.verb + "\n" + c.element + "\n" + c.argument;
}

bool PageDriver::Live(const Page& page, Clock::time_point now) const {
    return page.asked && now - page.lastAsked < m_gone;
}

PageDriver::Page* PageDriver::Choose(const std::string& workstation, const std::string& element,
                                     const std::string& pageName, Clock::time_point now) {
    Page* best = nullptr;
    std::string wanted = Lower(pageName);
    for (auto& [id, page] : m_pages) {
        if ((workstation != "*" && page.workstation != workstation) || !Live(page, now) ||
            page.hidden || !page.elements.contains(element) || !page.name.starts_with(wanted)) {
            continue;
        }
        if (best == nullptr || page.number > best->number) {
            best = &page;
        }
    }
    return best;
}

PageDriver::Outcome PageDriver::Perform(const std::string& workstation, const std::string& element,
                                        const std::string& verb, const std::string& argument,
                                        const std::string& pageName, Clock::duration timeout) {
    Outcome out;
    auto deadline = Clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    Page* page = nullptr;
    while ((page = Choose(workstation, element, pageName, Clock::now())) == nullptr) {
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout &&
            Clock::now() >= deadline) {
            out.error = "no shown page" + (pageName.empty() ? "" : " " + pageName) +
                        " with element " + element;
            return out;
        }
    }
    std::string pageId = page->id;
    std::string workstationName = page->workstation;
    out.page = page->name;
    out.served = page->served;
    out.servedAt = page->servedAt;
    Command c{m_nextCommand++, verb, element, argument};
    page->queue.push_back(c);
    lock.unlock();
    // Typed texts may be passwords: the timeline names the field only.
    m_journal.Note("page " + out.page + ": " + verb + " " + element, workstationName);
    lock.lock();
    // A command the page never took must not run later, when the script has gone on.
    auto withdraw = [&] {
        if (auto it = m_pages.find(pageId); it != m_pages.end()) {
            std::erase_if(it->second.queue, [&](const Command& q) { return q.id == c.id; });
        }
    };
    while (true) {
        if (auto r = m_results.find(c.id); r != m_results.end()) {
            std::string answer = r->second;
            m_results.erase(r);
            out.ok = answer.starts_with("ok");
            out.value = answer.size() > 3 ? answer.substr(3) : std::string();
            if (!out.ok) {
                out.error = "the page said: " + answer;
            }
            return out;
        }
        auto it = m_pages.find(pageId);
        bool gone = it == m_pages.end() || !Live(it->second, Clock::now());
        if (gone && it != m_pages.end() && it->second.delivered == c.id) {
            // The page took the command and went away before it could answer: a click that
            // made the workstation load another page does that. The command was performed.
            out.ok = verb == "click";
            if (!out.ok) {
                out.error = "the page went away before it answered";
            }
            return out;
        }
        if (gone) {
            withdraw();
            out.error = "the page went away before it took the command";
            return out;
        }
        if (Clock::now() >= deadline) {
            withdraw();
            out.error = "the page did not answer in time";
            return out;
        }
        m_changed.wait_until(lock, std::min(deadline, Clock::now() + m_gone));
    }
}

std::vector<std::string> PageDriver::LivePages() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    auto now = Clock::now();
    for (const auto& [id, page] : m_pages) {
        if (Live(page, now)) {
            out.push_back(id + "  " + page.workstation + "  " + page.name +
                          (page.hidden ? "  hidden" : "  shown"));
        }
    }
    return out;
}

}  // namespace ko
