#include "platform/linux/gtk/GtkNetConfigDialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ScreenTestSupport.h"

namespace ko {
namespace {

struct RecordedNetConfig : NetConfigEvents {
    std::optional<NetConfigFields> typed;
    std::string password;
    int cancels = 0;
    void OnOk(const NetConfigFields& fields, const std::string& secret) override {
        typed = fields;
        password = secret;
    }
    void OnCancel() override { ++cancels; }
};

// An operator mends the server's address with real keys: Tab moves through the boxes and Return
// presses OK.
TEST_F(ScreenTest, NetConfigTakesRealKeysAndReturnsTheTypedTexts) {
    RecordedNetConfig events;
    std::unique_ptr<NetConfigDialog> owned = m_screens->CreateNetConfigDialog(events);
    auto& dialog = static_cast<GtkNetConfigDialog&>(*owned);
    dialog.Show(NetConfigFields{"caf\xE9-server", "9678", "80", "PC1"}, false);
    EXPECT_TRUE(dialog.IsVisible());
    EXPECT_STREQ(gtk_entry_get_text(dialog.Entry(NetConfigField::ServerName)), "café-server");
    EXPECT_FALSE(
        gtk_widget_get_visible(GTK_WIDGET(dialog.Entry(NetConfigField::SecurityPassword))));
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] {
        return gtk_widget_get_mapped(GTK_WIDGET(dialog.NativeWindow())) != FALSE;
    }));
    Settle(300);
    const std::string xid = std::to_string(XidOf(dialog.NativeWindow()));
    RunCommand("xdotool windowactivate --sync " + xid + " key Tab ctrl+a type 9700");
    RunCommand("xdotool key Return");
    ASSERT_TRUE(RunFor(m_loop, 5000, [&] { return events.typed.has_value(); }));
    EXPECT_EQ(*events.typed, (NetConfigFields{"caf\xE9-server", "9700", "80", "PC1"}));
    EXPECT_EQ(events.password, "");
    EXPECT_TRUE(dialog.IsVisible());  // the core hides it

    RunCommand("xdotool key Escape");
    EXPECT_TRUE(RunFor(m_loop, 5000, [&] { return events.cancels == 1; }));
    dialog.Hide();
    EXPECT_FALSE(dialog.IsVisible());
}

TEST_F(ScreenTest, NetConfigAsksTheSecurityPasswordOnlyWhenTold) {
    RecordedNetConfig events;
    std::unique_ptr<NetConfigDialog> owned = m_screens->CreateNetConfigDialog(events);
    auto& dialog = static_cast<GtkNetConfigDialog&>(*owned);
    dialog.Show(NetConfigFields{"server", "9678", "80", "PC1"}, true);
    GtkEntry* password = dialog.Entry(NetConfigField::SecurityPassword);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(password)));
    EXPECT_FALSE(gtk_entry_get_visibility(password));
    gtk_entry_set_text(password, "s\xC3\xA9same");
    dialog.ShowInvalid(NetConfigField::TcpPort, "TCP/IP Port: a number from 1 to 65535");
    gtk_button_clicked(dialog.OkButton());
    ASSERT_TRUE(RunFor(m_loop, 2000, [&] { return events.typed.has_value(); }));
    EXPECT_EQ(events.password, "s\xE9same");

    // The next opening starts with an empty password box.
    dialog.Show(NetConfigFields{"server", "9678", "80", "PC1"}, true);
    EXPECT_STREQ(gtk_entry_get_text(password), "");
    // A close box is a cancel, and no notice arrives once the dialog is gone.
    gtk_window_close(dialog.NativeWindow());
    owned.reset();
    Settle(200);
    EXPECT_EQ(events.cancels, 0);
}

}  // namespace
}  // namespace ko
