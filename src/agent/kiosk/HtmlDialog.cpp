#include "agent/kiosk/HtmlDialog.h"

#include <algorithm>

#include "agent/core/AgentGlobals.h"
#include "platform/KioskScreens.h"
#include "shared/Guard.h"
#include "shared/Logger.h"

namespace ko {

HtmlDialog::HtmlDialog(KioskContext& context, Options options)
    : m_context(context),
      m_options(std::move(options)),
      m_binding(context.globals.regional),
      m_size(m_options.defaults) {}

HtmlDialog::~HtmlDialog() = default;

bool HtmlDialog::EnsureWindow() {
    if (m_window) {
        return true;
    }
    if (m_context.screens == nullptr) {
        Logger::Debug("kiosk: no display for " + m_options.caption);
        return false;
    }
    BrowserWindowSpec spec;
    spec.caption = m_options.caption;
    spec.framed = true;
    spec.blockContextMenu = m_options.blockContextMenu;
    spec.cancelClickDefault = m_options.cancelClickDefault;
    spec.formName = m_options.formName;
    m_window = m_context.screens->CreateBrowserWindow(spec, *this);
    if (!m_window) {
        Logger::Debug("kiosk: the window " + m_options.caption + " could not be created");
        return false;
    }
    m_size = m_options.defaults;
    const PlacementScreen screen = m_context.Screen();
    const std::int64_t width = WindowPlacement::ToPixels(m_size.width, screen.twips.x);
    const std::int64_t height = WindowPlacement::ToPixels(m_size.height, screen.twips.y);
    if (WindowPlacement::Fits(screen, width, height)) {
        m_window->Resize(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    }
    return true;
}

void HtmlDialog::ShowForm(const std::string& mode, const std::string& CurrentCustomer) {
    const auto& closeWords = m_options.closeWords;
    if (std::find(closeWords.begin(), closeWords.end(), mode) != closeWords.end()) {
        m_opening = false;
        if (m_window) {
            m_window->Hide();
        }
        return;
    }
    std::optional<std::string> address = OpenAddress(mode, CurrentCustomer);
    if (!address || !EnsureWindow()) {
        return;
    }
    const bool visible = VisibleWhileLoading(mode);
    if (!visible) {
        m_window->Hide();
    }
    m_window->SetBodyHtml(KioskContext::kWaitBody);
    m_window->Navigate(*address);
    m_opening = true;
    if (visible) {
        m_window->Show(true);
    }
}

void HtmlDialog::Unload() {
    m_window.reset();
    m_binding.Release();
    m_opening = false;
}

void HtmlDialog::PositionForm(std::int32_t width, std::int32_t height,
                              const std::string& position) {
    const PlacementScreen screen = m_context.Screen();
    m_size = WindowPlacement::DialogSize(screen, m_size, m_options.defaults, width, height);
    const PixelRect rect = WindowPlacement::Place(screen, m_size, position);
    if (WindowPlacement::Fits(screen, rect.width, rect.height)) {
        m_window->Resize(rect.width, rect.height);
    }
    m_window->Move(rect.left, rect.top);
    m_window->Show(true);
}

void HtmlDialog::OnNavigating(const std::string&) {
    m_binding.Release();
}

void HtmlDialog::OnDocumentComplete(const DocumentInfo& document) {
    Guarded("dialog page complete", [&] {
        m_binding.Bind(document.generation);
        // A form closed while its page loaded stays closed; a shown one that follows a link of
        // its page is placed again, as any completed page places it.
        if (!m_opening && !m_window->IsVisible()) {
            return;
        }
        m_opening = false;
        const LayoutValues& layout = document.layout;
        const RegionalSettings& regional = m_context.globals.regional;
        std::string position;
        if (layout.verticalPosition && layout.horizontalPosition) {
            position = *layout.verticalPosition + "-" + *layout.horizontalPosition;
        }
        std::int32_t width = 0;
        std::int32_t height = 0;
        if (layout.width) {
            width = NumberRules::ToInt32(*layout.width, regional).value_or(0);
        }
        if (layout.height) {
            height = NumberRules::ToInt32(*layout.height, regional).value_or(0);
        }
        PositionForm(width, height, position);
    });
}

void HtmlDialog::OnClick(const ClickInfo& click) {
    Guarded("dialog click", [&] {
        if (std::optional<koClientBrowser> selected = m_binding.Resolve(click)) {
            OnCommand(*selected);
        }
    });
}

void HtmlDialog::OnKeyDown(const KeyInfo&) {
    if (m_options.userActivity) {
        Guarded("dialog key", [this] { m_context.UserActivity(); });
    }
}

void HtmlDialog::OnMouseMove() {
    if (m_options.userActivity) {
        Guarded("dialog mouse", [this] { m_context.UserActivity(); });
    }
}

void HtmlDialog::OnActivate() {
    if (m_options.topmostOnActivate && m_window) {
        m_window->SetTopmost(true);
    }
}

void HtmlDialog::OnCloseBox() {
    Guarded("dialog close box", [this] { Close(); });
}

}  // namespace ko
