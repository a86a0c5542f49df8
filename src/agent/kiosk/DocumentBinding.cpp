#include "agent/kiosk/DocumentBinding.h"

namespace ko {

std::optional<koClientBrowser> DocumentBinding::Resolve(const ClickInfo& click) {
    if (!m_bound || click.generation != *m_bound) {
        return std::nullopt;
    }
    m_selected.FindSelected(click);
    if (!m_selected.ValidObject || !m_selected.ValidCommand) {
        return std::nullopt;
    }
    return m_selected;
}

}  // namespace ko
