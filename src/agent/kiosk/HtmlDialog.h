#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/kiosk/DocumentBinding.h"
#include "agent/kiosk/KioskContext.h"
#include "agent/kiosk/WindowPlacement.h"
#include "agent/kiosk/koClientBrowser.h"
#include "platform/BrowserWindow.h"

namespace ko {

// The frame every kiosk dialog shares: a window around one browser that shows a server page.
// ShowForm opens it in a mode (the page loads while the window is hidden, then the page's layout
// values size and place it) or closes it with a close word; a click on the page is resolved and
// handed to the member's command handling. The window is created on first use, hidden when
// closed and destroyed when the form is unloaded.
class HtmlDialog : public BrowserWindowEvents {
  public:
    struct Options {
        std::string caption;
        TwipsSize defaults;
        std::vector<std::string> closeWords;
        bool topmostOnActivate = true;
        bool blockContextMenu = true;
        bool cancelClickDefault = false;
        // Keys and mouse moves restart the advertisement idle count.
        bool userActivity = false;
        // The form's name, as the lock asks which form a window is.
        std::string formName;
    };

    HtmlDialog(KioskContext& context, Options options);
    ~HtmlDialog() override;
    HtmlDialog(const HtmlDialog&) = delete;
    HtmlDialog& operator=(const HtmlDialog&) = delete;

    void ShowForm(const std::string& mode, const std::string& CurrentCustomer = "");
    // Closes the window for good; the next opening creates it anew.
    void Unload();
    bool Loaded() const { return m_window != nullptr; }
    BrowserWindow* Window() const { return m_window.get(); }

  protected:
    // The page of an open mode; nothing when the mode does not open this dialog.
    virtual std::optional<std::string> OpenAddress(const std::string& mode,
                                                   const std::string& CurrentCustomer) = 0;
    // The mode shows the window with the waiting notice while its page loads.
    virtual bool VisibleWhileLoading(const std::string& /*mode*/) const { return false; }
    // A resolved click with a valid object and command.
    virtual void OnCommand(const koClientBrowser& selected) = 0;

    void Close() { ShowForm(m_options.closeWords.front()); }

    KioskContext& m_context;

  private:
    bool EnsureWindow();
    void PositionForm(std::int32_t width, std::int32_t height, const std::string& position);

    void OnNavigating(const std::string& url) override;
    void OnDocumentComplete(const DocumentInfo& document) override;
    void OnClick(const ClickInfo& click) override;
    void OnKeyDown(const KeyInfo& key) override;
    void OnMouseMove() override;
    void OnActivate() override;
    void OnCloseBox() override;

    Options m_options;
    std::unique_ptr<BrowserWindow> m_window;
    DocumentBinding m_binding;
    TwipsSize m_size;
    // Between an open mode and the completion of its page.
    bool m_opening = false;
};

}  // namespace ko
