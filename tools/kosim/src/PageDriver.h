#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Journal.h"

namespace ko {

// Scripted mode: every page kosim serves carries a small script that asks kosim, a few times a
// second, what to do next (click an element, type into a field, read a text or an element's
// place on the screen) and reports how it went. So a script's "click @ cmdOK" goes through the
// workstation's real browser, as a customer's click would. The page script is plain ES3 over
// XMLHttpRequest, so it runs in the oldest engine the workstation may embed, and its requests
// are short: an old engine allows only two connections to one server.
class PageDriver {
  public:
    using Clock = std::chrono::steady_clock;

    struct Outcome {
        bool ok = false;
        std::string value;         // what the page answered ("text" and "rect")
        std::string page;          // the page that performed it, "wslogoncustomer.asp"
        std::uint64_t served = 0;  // journal position when that page was served
        double servedAt = 0;       // and its time on the journal's clock
        std::string error;
    };

    // gone: how long a page may stay silent before it counts as gone (navigated away, closed).
    explicit PageDriver(Journal& journal, Clock::duration gone = kGone);

    // Takes a page about to be served to a workstation: remembers the ids of its elements and
    // returns the page with the driver script. page is the page's lower-case file name.
    std::string Adopt(const std::string& workstation, const std::string& page,
                      const std::string& html);

    // One request of a driven page. visible: "1", "0", or empty when the engine cannot tell.
    // done/result: the command the page just performed and how it went. Returns the next
    // command ("id\nverb\nelement\nargument") or nothing.
    std::string Poll(const std::string& pageId, const std::string& visible, const std::string& done,
                     const std::string& result);

    // Has the newest shown page of the workstation ("*": any) that holds the element perform
    // a verb: click, type, text, value, focus, rect. pageName, when not empty, picks pages
    // whose file name starts with it (any letter case). Waits for such a page and for its
    // answer, at most timeout.
    Outcome Perform(const std::string& workstation, const std::string& element,
                    const std::string& verb, const std::string& argument,
                    const std::string& pageName, Clock::duration timeout);

    // One line per page that still asks: id, workstation, page, shown or hidden.
    std::vector<std::string> LivePages() const;

    // The script a page carries; public for the tests.
    static std::string Script(const std::string& pageId);

    // A page that has not asked for this long has gone (navigated away or closed).
    static constexpr auto kGone = std::chrono::milliseconds(2500);

  private:
    struct Command {
        std::uint64_t id = 0;
        std::string verb;
        std::string element;
        std::string argument;
    };
    struct Page {
        std::string id;
        std::string workstation;
        std::string name;
        std::set<std::string> elements;
        std::uint64_t number = 0;  // pages in the order they were served
        std::uint64_t served = 0;
        double servedAt = 0;
        bool asked = false;
        Clock::time_point lastAsked{};
        bool hidden = false;
        std::deque<Command> queue;
        std::uint64_t delivered = 0;  // the last command handed to the page
    };

    bool Live(const Page& page, Clock::time_point now) const;
    Page* Choose(const std::string& workstation, const std::string& element,
                 const std::string& pageName, Clock::time_point now);

    Journal& m_journal;
    Clock::duration m_gone;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, Page> m_pages;
    std::map<std::uint64_t, std::string> m_results;
    std::uint64_t m_nextPage = 1;
    std::uint64_t m_nextCommand = 1;
};

}  // namespace ko
