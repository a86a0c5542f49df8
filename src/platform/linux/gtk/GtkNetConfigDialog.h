#pragma once

#include <gtk/gtk.h>

#include <array>
#include <memory>

#include "platform/EventLoop.h"
#include "platform/NetConfigDialog.h"

namespace ko {

// The network configuration dialog as a GTK window: four labelled text boxes, a masked security
// password box when it is asked, "OK" (the default button: Return in any box presses it) and
// "Cancel" (Escape and the close box too). Its notices are posted to the loop.
class GtkNetConfigDialog : public NetConfigDialog {
  public:
    GtkNetConfigDialog(EventLoop& loop, NetConfigEvents& events);
    ~GtkNetConfigDialog() override;
    GtkNetConfigDialog(const GtkNetConfigDialog&) = delete;
    GtkNetConfigDialog& operator=(const GtkNetConfigDialog&) = delete;

    void Show(const NetConfigFields& fields, bool askSecurityPassword) override;
    void Hide() override;
    void SetTopmost(bool topmost) override;
    void ShowInvalid(NetConfigField field, const std::string& text) override;
    bool IsVisible() const override { return m_visible; }

    // For tests: the window and a box.
    GtkWindow* NativeWindow() const { return m_window; }
    GtkEntry* Entry(NetConfigField field) const { return m_entries[static_cast<int>(field)]; }
    GtkButton* OkButton() const { return m_ok; }

  private:
    void PostOk();
    void PostCancel();
    static void OnOkClicked(GtkButton*, gpointer self);
    static void OnCancelClicked(GtkButton*, gpointer self);
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);

    EventLoop& m_loop;
    NetConfigEvents& m_events;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    GtkWindow* m_window = nullptr;
    std::array<GtkEntry*, 5> m_entries{};
    GtkWidget* m_passwordLabel = nullptr;
    GtkLabel* m_message = nullptr;
    GtkButton* m_ok = nullptr;
    GtkButton* m_cancel = nullptr;
    bool m_visible = false;
    bool m_askPassword = false;
};

}  // namespace ko
