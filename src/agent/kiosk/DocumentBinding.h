#pragma once

#include <cstdint>
#include <optional>

#include "agent/kiosk/koClientBrowser.h"

namespace ko {

// The binding of a form to the document its browser shows (`MainHTMLpage`, `LogonHTMLpage`, ...):
// made when a document completes, released when the next navigation starts. Clicks count only
// while it holds and only for the document it holds: a click of a page being replaced, or of an
// older one, is not the customer's answer to what the form shows now.
class DocumentBinding {
  public:
    explicit DocumentBinding(const RegionalSettings& regional) : m_selected(regional) {}

    void Bind(std::uint32_t generation) { m_bound = generation; }
    void Release() { m_bound.reset(); }

    // Resolves a click; a copy of the result when it names a valid command, else nothing. A copy,
    // because the command's handler may run a nested loop in which another click resolves.
    std::optional<koClientBrowser> Resolve(const ClickInfo& click);

  private:
    koClientBrowser m_selected;
    std::optional<std::uint32_t> m_bound;
};

}  // namespace ko
