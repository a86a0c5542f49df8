#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CafeServer.h"
#include "DesktopInput.h"
#include "Journal.h"
#include "PageDriver.h"

namespace ko {

struct PageOptions;

// The operator console and the script runner: one command per line. Scripts add steps, notes,
// pauses and expectations about what kosim observes ("expect recv @ 36 within 10").
class Console {
  public:
    using Print = std::function<void(const std::string&)>;

    Console(CafeServer& server, Journal& journal, Print print);

    // Scripted mode: page commands (click, type, expect text) go to the pages through the
    // driver; trusted clicks and keys go through the desktop. Either may be absent.
    void SetPageDriver(PageDriver* driver) { m_driver = driver; }
    void SetDesktop(DesktopInput* desktop) { m_desktop = desktop; }
    // ${name} in a line becomes the value: scripts name kosim's own ports so.
    void SetVariable(const std::string& name, const std::string& value);

    // Runs one line. Returns false when the line asks to quit.
    bool Execute(const std::string& line);
    // Runs a script file; stops at the first failed expectation. Returns false when the file
    // cannot be read.
    bool RunScript(const std::string& path);

    int Passed() const { return m_passed; }
    int Failed() const { return m_failed; }
    int Skipped() const { return m_skipped; }
    // Scripts stop at the first failed expectation: the rest of a visit depends on it.
    bool Stopped() const { return m_stopped; }

    // Splits a line into words; double quotes group words, a backslash escapes the next
    // character inside quotes. Returns false on an unterminated quote.
    static bool Tokenize(const std::string& line, std::vector<std::string>& words);
    static std::string Help();

  private:
    void List();
    void Customers();
    void Reports(const std::string& ws);
    bool Expect(const std::vector<std::string>& words);
    bool ExpectText(const std::vector<std::string>& words);
    bool ExpectWindow(const std::vector<std::string>& words, bool absent);
    // click and type; trusted ones through the desktop at the element's place.
    bool PageAction(const std::vector<std::string>& words);
    bool PageStep(const std::vector<std::string>& words, const PageOptions& options);
    bool TrustedClick(const std::string& ws, const std::string& element, const std::string& page,
                      double within);
    std::string Workstation(const std::string& ws) const;
    bool Fail(const std::string& what);
    void Report(const std::string& error);

    CafeServer& m_server;
    Journal& m_journal;
    Print m_print;
    PageDriver* m_driver = nullptr;
    DesktopInput* m_desktop = nullptr;
    std::map<std::string, std::string> m_variables;
    bool m_optionalAction = false;  // a failure of the current action counts as skipped
    std::uint64_t m_cursor = 0;     // just after the last event an expectation matched
    std::uint64_t m_mark = 0;       // where the current step began
    int m_passed = 0;
    int m_failed = 0;
    int m_skipped = 0;
    bool m_stopped = false;
    std::string m_where;  // "visit.kos:12: " while a script runs
};

}  // namespace ko
