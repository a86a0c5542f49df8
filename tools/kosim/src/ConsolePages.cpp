// The console's scripted-mode commands: clicks and typing on the workstation's pages, texts
// read back from them, and its windows on the desktop.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <thread>

#include "Console.h"

namespace ko {

// Options after a page command's own words: trusted, on <page>, within <s>, contains, optional.
struct PageOptions {
    bool trusted = false;
    bool contains = false;
    bool optional = false;
    std::string page;
    double within = 15;
};

namespace {

PageOptions ReadOptions(const std::vector<std::string>& w, std::size_t from) {
    PageOptions o;
    for (std::size_t i = from; i < w.size(); ++i) {
        if (w[i] == "trusted") {
            o.trusted = true;
        } else if (w[i] == "contains") {
            o.contains = true;
        } else if (w[i] == "optional") {
            o.optional = true;
        } else if (w[i] == "on" && i + 1 < w.size()) {
            o.page = w[++i];
        } else if (w[i] == "within" && i + 1 < w.size()) {
            o.within = std::atof(w[++i].c_str());
        }
    }
    return o;
}

std::chrono::milliseconds Seconds(double s) {
    return std::chrono::milliseconds(static_cast<long>(std::max(0.0, s) * 1000));
}

// Pages pad their labels with blanks and line breaks; a label with a single blank (a remaining
// figure below zero) reads as empty.
std::string Trim(const std::string& text) {
    auto begin = text.find_first_not_of(" \t\r\n\xa0");
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n\xa0") + 1 - begin);
}

}  // namespace

std::string Console::Workstation(const std::string& ws) const {
    return ws == "@" ? m_server.LastGreeted() : ws;
}

bool Console::Fail(const std::string& what) {
    if (m_optionalAction) {
        // What a later part of the workstation will do: noted, not failed, until it lands.
        ++m_skipped;
        m_print(m_where + "SKIP " + what + " (optional)");
        return false;
    }
    ++m_failed;
    m_print(m_where + "FAIL " + what);
    return false;
}

bool Console::TrustedClick(const std::string& ws, const std::string& element,
                           const std::string& page, double within) {
    if (m_desktop == nullptr) {
        return Fail("trusted click on " + element + ": no desktop to click on");
    }
    auto place = m_driver->Perform(Workstation(ws), element, "rect", "", page, Seconds(within));
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::istringstream in(place.value);
    if (!place.ok || !(in >> left >> top >> width >> height)) {
        return Fail("trusted click on " + element + ": " +
                    (place.ok ? "the page gave no place" : place.error));
    }
    std::string title = DesktopInput::TitleFor(place.page);
    auto window = title.empty() ? std::nullopt : m_desktop->FindWindow(title);
    if (!window) {
        return Fail("trusted click on " + element + ": no shown window titled " + title + " for " +
                    place.page);
    }
    int x = left + width / 2;
    int y = top + height / 2;
    if (!m_desktop->Click(*window, x, y)) {
        return Fail("trusted click on " + element + ": xdotool failed");
    }
    m_print(m_where + "click " + element + " (trusted: pointer at " + std::to_string(x) + "," +
            std::to_string(y) + " of window " + title + ", " + place.page + ")");
    return true;
}

bool Console::PageAction(const std::vector<std::string>& w) {
    PageOptions o = ReadOptions(w, w[0] == "click" ? 3 : 4);
    m_optionalAction = o.optional;
    bool done = PageStep(w, o);
    m_optionalAction = false;
    return done || o.optional;
}

bool Console::PageStep(const std::vector<std::string>& w, const PageOptions& o) {
    const bool click = w[0] == "click";
    const std::string& element = w[2];
    if (m_driver == nullptr) {
        return Fail(w[0] + " " + element + ": page commands need kosim --drive");
    }
    std::string ws = Workstation(w[1]);
    if (click) {
        if (o.trusted) {
            return TrustedClick(w[1], element, o.page, o.within);
        }
        auto r = m_driver->Perform(ws, element, "click", "", o.page, Seconds(o.within));
        if (!r.ok) {
            return Fail("click " + element + ": " + r.error);
        }
        m_print(m_where + "click " + element + " (by the page's script, " + r.page + ")");
        return true;
    }
    const std::string& text = w[3];
    if (o.trusted) {
        // The customer's way: click into the field, replace what it holds, type.
        if (!TrustedClick(w[1], element, o.page, o.within)) {
            return false;
        }
        if (!m_desktop->Keys({"ctrl+a"}) || !m_desktop->Type(text)) {
            return Fail("type into " + element + ": xdotool failed");
        }
        auto check = m_driver->Perform(ws, element, "value", "", o.page, Seconds(o.within));
        // The typed text may be a password: say whether it arrived, never what it is.
        if (!check.ok || check.value != text) {
            return Fail("type into " + element + ": the field does not hold what was typed");
        }
        m_print(m_where + "typed into " + element + " (trusted: real keys)");
        return true;
    }
    auto r = m_driver->Perform(ws, element, "type", text, o.page, Seconds(o.within));
    if (!r.ok) {
        return Fail("type into " + element + ": " + r.error);
    }
    m_print(m_where + "typed into " + element + " (by the page's script, " + r.page + ")");
    return true;
}

bool Console::ExpectText(const std::vector<std::string>& w) {
    std::string said = "expect " + [&] {
        std::string s;
        for (std::size_t i = 1; i < w.size(); ++i) {
            s += (i == 1 ? "" : " ") + w[i];
        }
        return s;
    }();
    if (m_driver == nullptr || w.size() < 5) {
        return Fail(said +
                    " (usage: expect text <ws> <element> <text> | status <field>; needs "
                    "--drive)");
    }
    std::string ws = Workstation(w[2]);
    const std::string& element = w[3];
    // "status N": the label shows field N of a status sent after the page was served, so the
    // workstation wrote it; the page itself held the figure of its own moment.
    bool fromStatus = w[4] == "status" && w.size() > 5;
    std::size_t field = fromStatus ? static_cast<std::size_t>(std::atoi(w[5].c_str())) : 0;
    PageOptions o = ReadOptions(w, fromStatus ? 6 : 5);
    auto deadline = std::chrono::steady_clock::now() + Seconds(o.within);
    std::string seen = "(no page)";
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        auto r = m_driver->Perform(ws, element, "text", "", o.page,
                                   std::max(left, std::chrono::milliseconds(200)));
        if (r.ok) {
            std::string text = Trim(r.value);
            seen = "\"" + text + "\"";
            bool match = false;
            if (fromStatus) {
                for (const auto& e : m_journal.Events(r.served)) {
                    // Figures have a resolution of a second: a status sent in the second the
                    // page was served may carry the page's own figure.
                    if (e.kind == EventKind::Sent && e.code == 0 && e.workstation == ws &&
                        e.at >= r.servedAt + 1.5 && field >= 1 && field <= e.fields.size() &&
                        !text.empty() && Trim(e.fields[field - 1]) == text) {
                        match = true;
                    }
                }
            } else {
                match = o.contains ? text.find(w[4]) != std::string::npos : text == w[4];
            }
            if (match) {
                ++m_passed;
                m_print(m_where + "PASS " + said + " (" + seen + ")");
                return true;
            }
        } else {
            seen = r.error;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Fail(said + " (saw " + seen + ")");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

bool Console::ExpectWindow(const std::vector<std::string>& w, bool absent) {
    std::string said = std::string("expect ") + (absent ? "no " : "") + "window";
    for (std::size_t i = 2; i < w.size(); ++i) {
        said += " " + w[i];
    }
    if (m_desktop == nullptr || w.size() < 4) {
        return Fail(said + " (usage: expect [no] window <ws> <title pattern>; needs a display)");
    }
    PageOptions o = ReadOptions(w, 4);
    auto deadline = std::chrono::steady_clock::now() + Seconds(o.within);
    while (true) {
        // A window is awaited until it shows; an absent one until it has gone.
        std::optional<std::string> window = m_desktop->FindWindow(w[3]);
        bool found = window.has_value();
        if (found != absent || std::chrono::steady_clock::now() >= deadline) {
            if (found == absent) {
                return Fail(said + (absent ? " (it is shown)" : " (not shown)"));
            }
            if (found) {
                // Later lines name the window as ${window}: the handle the workstation reports.
                SetVariable("window", *window);
            }
            ++m_passed;
            m_print(m_where + "PASS " + said);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

}  // namespace ko
